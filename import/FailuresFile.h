#pragma once

#include "import/ImportRun.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QSaveFile;

// The failures file: every contact that did not get into the group, ready to
// be corrected and imported again, by the window and by the import command.
namespace contacts {

// UTF-8 with a byte order mark, so that spreadsheet programs take it for
// UTF-8; a header line "row,name,mobile,tel,remark,reason", then one line per
// contact, fields quoted as in the contacts CSV, lines ending in CRLF.
QByteArray FailuresCsv(const QList<ImportFailure>& failures);

// The longest start of a file that IsFailuresCsv needs to see.
qsizetype FailuresCsvSignatureSize();
// True when the content begins as FailuresCsv writes it: the byte order mark,
// then the header line.
bool IsFailuresCsv(const QByteArray& start);

// Reads a failures file strictly (quoted fields may hold commas, quotes and
// line breaks; anything else unusual is refused, a number used twice too).
// False with a description naming the line when the file does not have the
// form FailuresCsv writes.
bool ParseFailuresCsv(const QByteArray& content, NumberedContacts& contacts, QString& problem);

// Whether the file at path begins as FailuresCsv writes it.
bool IsFailuresFile(const QString& path);
// Reads the failures file at path; a file without contacts is refused too.
bool ReadFailuresFile(const QString& path, NumberedContacts& contacts, QString& problem);
// Writes FailuresCsv(failures) to the open file and commits it; false with a
// description when the file did not take it.
bool WriteFailuresFile(QSaveFile& file, const QList<ImportFailure>& failures, QString& problem);

} // namespace contacts
