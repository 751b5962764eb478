#pragma once

#include "import/ImportRun.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The failures file of the import subcommand: every contact that did not reach
// the group, ready to be corrected and imported again.
namespace batch {

// Contacts to import, each with its number (from 1) in the contact list of the
// sheet it came from; a failures file keeps the numbers of the original sheet.
struct NumberedContacts {
    contacts::LinkmanTable table;
    std::vector<int> rows;
    // The rows of the sheet that became no contact; none from a failures file.
    std::vector<contacts::SkippedRow> skipped;
};

// What a contact never sent on an interrupted import is listed with.
QString NotSentReason();

// UTF-8 with a byte order mark, so that spreadsheet programs take it for
// UTF-8; a header line "row,name,mobile,tel,remark,reason", then one line per
// failure, fields quoted as in the contacts CSV, lines ending in CRLF.
QByteArray FailuresCsv(const QList<contacts::ImportFailure>& failures);

// The longest start of a file that IsFailuresCsv needs to see.
qsizetype FailuresCsvSignatureSize();
// True when the content begins as FailuresCsv writes it: the byte order mark,
// then the header line.
bool IsFailuresCsv(const QByteArray& start);

// Reads a failures file strictly (quoted fields may hold commas, quotes and
// line breaks; anything else unusual is refused). False with a description
// naming the line when the file does not have the form FailuresCsv writes.
bool ParseFailuresCsv(const QByteArray& content, NumberedContacts& contacts, QString& problem);

} // namespace batch
