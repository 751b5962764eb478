#pragma once

#include "workbook/Workbook.h"

#include <QByteArrayView>

#include <vector>

class QFile;

namespace workbook {

// The format readers behind Workbook::Bind, chosen by the file's content.
std::unique_ptr<Workbook> OpenXls(const QString& path);
// A zip package: an OpenDocument spreadsheet by its "mimetype" entry,
// otherwise an Office Open XML workbook (.xlsx, .xlsm, .xltx, .xltm).
std::unique_ptr<Workbook> OpenZip(const QString& path);
std::unique_ptr<Workbook> OpenXlsx(const QString& path);
std::unique_ptr<Workbook> OpenOds(const QString& path);
std::unique_ptr<Workbook> OpenCsv(const QString& path);
std::unique_ptr<Workbook> OpenHtml(const QString& path);
std::unique_ptr<Workbook> OpenSpreadsheetMl(const QString& path);

// Whether a file starts with the BOF record of a workbook stream stored without
// an OLE2 container, as Excel 2.x to 4.0 wrote them.
bool StartsWithBiffBof(QByteArrayView head);

// More cells in one sheet than this are refused: they would take gigabytes,
// far beyond any contact list.
inline constexpr qsizetype MaxCells = qsizetype(1) << 24;
// A cell holds at most 32767 characters; text far beyond that is refused
// rather than collected without end.
inline constexpr qsizetype MaxCellChars = qsizetype(1) << 20;

// A workbook whose sheets all come from one pass over one stream (a web
// page, an XML spreadsheet, the content of an OpenDocument file): the pass
// reads every sheet at binding, and each is handed over when first asked for.
class OnePassWorkbook : public Workbook {
public:
    void Close() override;

protected:
    OnePassWorkbook() = default;
    // Reads every sheet, in workbook order; throws WorkbookError.
    virtual std::vector<Worksheet> readAll() = 0;
    // Runs the pass and takes the sheet names from its result; for the constructor of the subclass.
    void load();
    Worksheet readSheet(int index) override;

private:
    std::vector<Worksheet> sheets_;
    std::vector<bool> handedOver_;
};

} // namespace workbook
