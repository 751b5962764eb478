#include "workbook/BiffFormats.h"

namespace workbook::biff {
namespace {

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

bool IsBuiltInDateFormat(uint16_t formatIndex)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the dates of the East
    // Asian editions of Excel, which leave them out of the file as well.
    return (formatIndex >= 14 && formatIndex <= 22) || (formatIndex >= 45 && formatIndex <= 47)
           || (formatIndex >= 27 && formatIndex <= 36) || (formatIndex >= 50 && formatIndex <= 58);
}

bool IsDateFormatCode(QStringView code)
{
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            if (close < 0)
                return false;
            i = close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character is shown, padded to or repeated, not interpreted
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i + 1);
            if (close < 0)
                return false;
            if (isElapsedTime(code.sliced(i + 1, close - i - 1)))
                return true;
            i = close;
        } else if (isDateLetter(c)) {
            return true;
        }
    }
    return false;
}

} // namespace workbook::biff
