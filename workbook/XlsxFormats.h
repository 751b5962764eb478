#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

// The small text forms inside a spreadsheet package: cell references, ISO dates and the _xHHHH_ escapes of strings.
namespace workbook::xlsx {

struct CellReference {
    int row = 0;
    int column = 0;
};

// "C5" -> row 5, column 3; nothing for text that is no reference or lies beyond
// the largest sheet (1048576 rows, 16384 columns).
std::optional<CellReference> ParseCellReference(std::string_view text);

constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

// An ISO 8601 date, date-time or time ("2021-01-01", "2021-01-01T10:10:10",
// "10:10:10") as a serial day of the 1900 date system; nothing when the text
// is not such a value. A time zone suffix is ignored: the cell shows wall time.
std::optional<double> ParseIsoDate(std::string_view text);

// UTF-8 text with each _xHHHH_ escape replaced by the UTF-16 unit it stands
// for; "_x005F_" stands for "_", which is how a literal "_x000D_" is written.
QString DecodeEscapes(std::string_view utf8);

} // namespace workbook::xlsx
