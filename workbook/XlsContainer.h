#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace workbook::xls {

// The workbook stream of an .xls file and the name it was found under.
struct WorkbookStream {
    QByteArray data;
    // "Book" is the stream of BIFF5/BIFF7 workbooks (Excel 5.0 to 95).
    bool namedBook = false;
};

// Takes the workbook stream out of the OLE2 container of the file at path. A
// file that starts with a bare BIFF5/BIFF8 stream is taken whole. Throws
// WorkbookError for Excel 2.x-4.0 files, encrypted files, containers without
// a workbook stream and damaged containers.
WorkbookStream ReadWorkbookStream(const QString& path);

} // namespace workbook::xls
