#pragma once

#include <QStringView>

#include <optional>

// Which number formats show a date or a time: a cell's number is a date when
// the format of its cell style is one of these. Both the .xls and the .xlsx
// reader decide by these rules.
namespace workbook {

// Whether a built-in number format (one a workbook names by its id alone)
// shows a date or a time. Besides the international ids 14-22 and 45-47 this
// counts the ids that Chinese, Japanese and Korean Excel use for their own date
// and time forms (27-36, 50-58), which such files carry without a code.
bool IsBuiltInDateFormat(int id);

// Whether a custom number format code shows a date or a time: its first section
// (the one for positive numbers) holds d, m, y, h or s outside quoted text,
// escapes and brackets, or an elapsed-time bracket such as [h] or [mm].
bool IsDateFormatCode(QStringView code);

// The serial day in the 1900 date system (see CellValue) of a number shown as
// a date in a workbook of the given date system; nothing where Excel shows no
// date: below 0 or after 9999-12-31. A time of day alone (above 0 and below 1)
// is the same in both systems.
std::optional<double> DateSerial(double value, bool date1904);

} // namespace workbook
