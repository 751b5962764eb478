#pragma once

#include "import/ContactAnalysis.h"

#include <QByteArray>

class QIODevice;

namespace contacts {

// The contacts as CSV in UTF-8 (no byte order mark): a header line
// "name,mobile,tel,remark", then one line per contact in table order. Lines end
// in CRLF; a field holding a comma, a double quote, CR or LF is put in double
// quotes with its double quotes doubled.
QByteArray ContactsCsv(const LinkmanTable& table);

// Appends one field in UTF-8 as ContactsCsv writes it, for other files of
// this form.
void AppendCsvField(QByteArray& out, const QString& field);

// The rows passed over as CSV in UTF-8 with a byte order mark, so that
// spreadsheet programs take it for UTF-8: a header line
// "row,name,mobile,reason", then one line per row, quoted as in ContactsCsv.
QByteArray SkippedRowsCsv(const std::vector<SkippedRow>& rows);

// Writes ContactsCsv(table) to the device; false when the device took less.
bool WriteContactsCsv(QIODevice& device, const LinkmanTable& table);

} // namespace contacts
