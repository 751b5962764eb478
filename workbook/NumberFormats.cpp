#include "workbook/NumberFormats.h"

#include <cmath>

namespace workbook {
namespace {

// 9999-12-31 is the last day Excel shows as a date.
constexpr double LastDateSerial = 2958466;
// Days from 1900-01-01 to 1904-01-01 in Excel's 1900 system.
constexpr double Days1900To1904 = 1462;

bool isDateLetter(QChar c)
{
    switch (c.toLower().unicode()) {
    case u'd':
    case u'm':
    case u'y':
    case u'h':
    case u's':
        return true;
    default:
        return false;
    }
}

// [h], [hh], [m], [mm], [s], [ss]: elapsed time; [Red], [$-804], [>100] are not.
bool isElapsedTime(QStringView bracketed)
{
    if (bracketed.isEmpty())
        return false;
    const QChar first = bracketed.front().toLower();
    if (first != u'h' && first != u'm' && first != u's')
        return false;
    for (QChar c : bracketed) {
        if (c.toLower() != first)
            return false;
    }
    return true;
}

} // namespace

bool IsBuiltInDateFormat(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

std::optional<double> DateSerial(double value, bool date1904)
{
    if (!std::isfinite(value) || value < 0)
        return std::nullopt;
    const bool timeOnly = value > 0 && value < 1;
    const double serial = date1904 && !timeOnly ? value + Days1900To1904 : value;
    if (serial >= LastDateSerial)
        return std::nullopt;
    return serial;
}

bool IsDateFormatCode(QStringView code)
{
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        switch (c.unicode()) {
        case u';':
            return false;
        case u'"': {
            const qsizetype close = code.indexOf(u'"', i + 1);
            if (close < 0)
                return false;
            i = close;
            break;
        }
        case u'\\':
        case u'_':
        case u'*':
            ++i; // the next character is shown, padded to or repeated, not interpreted
            break;
        case u'[': {
            const qsizetype close = code.indexOf(u']', i + 1);
            if (close < 0)
                return false;
            if (isElapsedTime(code.sliced(i + 1, close - i - 1)))
                return true;
            i = close;
            break;
        }
        default:
            if (isDateLetter(c))
                return true;
        }
    }
    return false;
}

} // namespace workbook
