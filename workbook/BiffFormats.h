#pragma once

#include <QStringView>

#include <cstdint>

// Which number formats show a date or a time: a cell's number is a date when
// the format of its cell style is one of these.
namespace workbook::biff {

// The date and time formats built into Excel that a workbook may use without
// storing their format string.
bool IsBuiltInDateFormat(uint16_t formatIndex);

// A format string shows a date or time when it holds a day, month, year, hour
// or second code outside quoted text, escaped characters and brackets; of the
// bracketed parts only the elapsed-time codes [h], [mm] and [ss] count.
bool IsDateFormatCode(QStringView code);

} // namespace workbook::biff
