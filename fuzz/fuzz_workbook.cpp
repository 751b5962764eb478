// Binds a workbook made of the fuzzer's bytes and reads every cell of every
// sheet, as the sheet listing and the analysis do.
#include "workbook/Workbook.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = inputPath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    try {
        const std::unique_ptr<workbook::Workbook> book = workbook::Workbook::Bind(path);
        readEverything(*book);
        book->Close();
    } catch (const workbook::WorkbookError&) {
    }
    return 0;
}
