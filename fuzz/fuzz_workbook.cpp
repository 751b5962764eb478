// Binds a workbook made of the fuzzer's bytes and reads every cell of every
// sheet, as the sheet listing and the analysis do. VELTRIN_FUZZ_READER names
// the one reader to feed (otherwise the file goes to Workbook::Bind);
// VELTRIN_FUZZ_ODS_CONTENT makes the bytes the content.xml of an .ods package.
#include "workbook/Readers.h"
#include "workbook/Workbook.h"

#ifdef VELTRIN_FUZZ_ODS_CONTENT
#include "fuzz/OdsPackage.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

QString inputPath()
{
    return QDir::temp().filePath(QStringLiteral("veltrin-fuzz-%1" VELTRIN_FUZZ_SUFFIX).arg(QCoreApplication::applicationPid()));
}

void readEverything(workbook::Workbook& book)
{
    for (int position = 1; position <= book.Count(); ++position) {
        (void)book.Name(position);
        try {
            const workbook::Worksheet& sheet = book.GetWorksheet(position);
            for (int row = 1; row <= sheet.lastRow(); ++row)
                for (int column = 1; column <= sheet.lastColumn(row); ++column) {
                    try {
                        (void)sheet.text(row, column);
                    } catch (const workbook::WorkbookError&) {
                    }
                }
        } catch (const workbook::WorkbookError&) {
        }
    }
}

bool writeInput(const QString& path, const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
#ifdef VELTRIN_FUZZ_ODS_CONTENT
    return WriteOdsPackage(path, bytes);
#else
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size();
#endif
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = inputPath();
    if (!writeInput(path, data, size))
        abort();
    try {
#ifdef VELTRIN_FUZZ_READER
        const std::unique_ptr<workbook::Workbook> book = workbook::VELTRIN_FUZZ_READER(path);
#else
        const std::unique_ptr<workbook::Workbook> book = workbook::Workbook::Bind(path);
#endif
        readEverything(*book);
        book->Close();
    } catch (const workbook::WorkbookError&) {
    }
    return 0;
}
