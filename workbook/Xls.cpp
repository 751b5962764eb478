#include "workbook/BiffRecords.h"
#include "workbook/Readers.h"
#include "workbook/VectorState.h"
#include "workbook/XlsContainer.h"
#include "workbook/XlsDecryption.h"
#include "workbook/XlsGlobals.h"
#include "workbook/XlsSheet.h"

namespace workbook {
namespace {

// An .xls workbook (BIFF5/BIFF7 or BIFF8). The workbook stream stays in memory
// until Close, so each worksheet is read from it without further I/O.
class XlsWorkbook final : public Workbook {
public:
    explicit XlsWorkbook(const QString& path) : path_(path)
    {
        ClearUpperVectorState();
        xls::WorkbookStream stream = xls::ReadWorkbookStream(path);
        stream_ = std::move(stream.data);
        try {
            xls::DecryptWithDefaultPassword(stream_);
            globals_ = xls::ReadGlobals(stream_, stream.namedBook);
        } catch (const biff::CorruptRecord& damage) {
            throw WorkbookError(QStringLiteral("工作簿“%1”已损坏，无法读取：%2。").arg(path_, damage.description()));
        }
        for (const xls::SheetEntry& sheet : globals_.sheets)
            names_.append(sheet.name);
    }

    void Close() override
    {
        Workbook::Close();
        stream_.clear();
        globals_ = {};
        closed_ = true;
    }

protected:
    Worksheet readSheet(int index) override
    {
        if (closed_)
            throw WorkbookError(QStringLiteral("工作簿“%1”已关闭。").arg(path_));
        const xls::SheetEntry& entry = globals_.sheets[static_cast<size_t>(index)];
        ClearUpperVectorState();
        try {
            Worksheet sheet = xls::ReadSheet(stream_, globals_, entry);
            releaseStreamOnceEverySheetIsRead();
            return sheet;
        } catch (const biff::CorruptRecord& damage) {
            throw WorkbookError(QStringLiteral("工作表“%1”已损坏，无法读取：%2。").arg(entry.name, damage.description()));
        }
    }

private:
    // Each sheet is read once (the workbook keeps it); after the last one the
    // stream, as big as the file, has no more use, and its memory serves
    // what the caller builds from the sheets.
    void releaseStreamOnceEverySheetIsRead()
    {
        if (++sheetsRead_ == globals_.sheets.size())
            stream_ = QByteArray();
    }

    QString path_;
    QByteArray stream_;
    xls::Globals globals_;
    size_t sheetsRead_ = 0;
    bool closed_ = false;
};

} // namespace

std::unique_ptr<Workbook> OpenXls(const QString& path)
{
    return std::make_unique<XlsWorkbook>(path);
}

} // namespace workbook
