#pragma once

#include "workbook/Workbook.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

// The small text forms inside XML spreadsheets (the parts of a .xlsx package,
// OpenDocument content, Excel 2003 XML): cell references, numbers, truth
// values, ISO dates and the _xHHHH_ escapes of strings.
namespace workbook::xlsx {

// The text of UTF-8 bytes, as the XML scanner hands them over.
inline QString Utf8Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Pretty-printed XML may surround a value with blanks and line breaks.
std::string_view Trimmed(std::string_view text);
// A non-negative whole number, blanks around it allowed.
std::optional<int> ParseIndex(std::string_view text);
// A finite number in XML Schema's form ("-1.5E3"; a leading "+" allowed).
std::optional<double> ParseNumber(std::string_view text);
// "1" or "true", blanks around it allowed.
bool IsTrue(std::string_view text);

struct CellReference {
    int row = 0;
    int column = 0;
};

// "C5" -> row 5, column 3; nothing for text that is no reference or lies beyond
// the largest sheet (1048576 rows, 16384 columns).
std::optional<CellReference> ParseCellReference(std::string_view text);

using workbook::MaxColumns;
using workbook::MaxRows;

// An ISO 8601 date, date-time or time ("2021-01-01", "2021-01-01T10:10:10",
// "10:10:10") as a serial day of the 1900 date system; nothing when the text
// is not such a value. A time zone suffix is ignored: the cell shows wall time.
std::optional<double> ParseIsoDate(std::string_view text);

// An ISO 8601 duration such as "PT13H30M15S" or "P1DT2H", the form of time
// values in OpenDocument files, in days; nothing for other text or a
// negative duration.
std::optional<double> ParseIsoDuration(std::string_view text);

// UTF-8 text with each _xHHHH_ escape replaced by the UTF-16 unit it stands
// for; "_x005F_" stands for "_", which is how a literal "_x000D_" is written.
QString DecodeEscapes(std::string_view utf8);

} // namespace workbook::xlsx
