#include "workbook/XlsxFormats.h"

#include <QDate>

#include <charconv>
#include <cmath>

namespace workbook::xlsx {
namespace {

// Reads up to `count` decimal digits at `pos`; nothing unless exactly that many are there.
std::optional<int> digits(std::string_view text, size_t& pos, size_t count)
{
    if (text.size() < pos + count)
        return std::nullopt;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return value;
}

bool expect(std::string_view text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.fff" as a fraction of a day.
std::optional<double> parseTime(std::string_view text, size_t& pos)
{
    const auto hours = digits(text, pos, 2);
    if (!hours || !expect(text, pos, ':'))
        return std::nullopt;
    const auto minutes = digits(text, pos, 2);
    if (!minutes)
        return std::nullopt;
    double seconds = 0;
    if (expect(text, pos, ':')) {
        const auto whole = digits(text, pos, 2);
        if (!whole)
            return std::nullopt;
        seconds = *whole;
        if (pos < text.size() && text[pos] == '.') {
            size_t end = pos + 1;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++end;
            double fraction = 0;
            std::from_chars(text.data() + pos, text.data() + end, fraction);
            seconds += fraction;
            pos = end;
        }
    }
    if (*hours > 24 || *minutes > 59 || seconds >= 61)
        return std::nullopt;
    return (*hours * 3600.0 + *minutes * 60.0 + seconds) / 86400.0;
}

bool skipTimeZone(std::string_view text, size_t& pos)
{
    if (pos == text.size())
        return true;
    if (text[pos] == 'Z')
        return ++pos == text.size();
    if (text[pos] != '+' && text[pos] != '-')
        return false;
    ++pos;
    return digits(text, pos, 2) && expect(text, pos, ':') && digits(text, pos, 2) && pos == text.size();
}

std::optional<double> serialOfDate(int year, int month, int day)
{
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1900)
        return std::nullopt;
    // Serial days before March 1900 count from one day later, because the
    // 1900 date system has a 29 February 1900 that never was.
    const QDate base = date < QDate(1900, 3, 1) ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    return static_cast<double>(base.daysTo(date));
}

// A non-negative number at the start of `text`, with its fraction; advances past it.
std::optional<double> leadingNumber(std::string_view& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < 0)
        return std::nullopt;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return value;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The UTF-16 unit of an "_xHHHH_" escape at the start of text.
std::optional<char16_t> escapedUnit(QStringView text)
{
    if (text.size() < 7 || text[6] != u'_')
        return std::nullopt;
    char16_t unit = 0;
    for (qsizetype i = 2; i < 6; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0)
            return std::nullopt;
        unit = static_cast<char16_t>(unit * 16 + digit);
    }
    return unit;
}

} // namespace

std::string_view Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<int> ParseIndex(std::string_view text)
{
    text = Trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<double> ParseNumber(std::string_view text)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsTrue(std::string_view text)
{
    text = Trimmed(text);
    return text == "1" || text == "true";
}

std::optional<CellReference> ParseCellReference(std::string_view text)
{
    size_t pos = 0;
    int column = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        column = column * 26 + (c - 'A' + 1);
        if (column > MaxColumns)
            return std::nullopt;
    }
    if (column == 0 || pos == text.size())
        return std::nullopt;
    int row = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        row = row * 10 + (c - '0');
        if (row > MaxRows)
            return std::nullopt;
    }
    if (row == 0)
        return std::nullopt;
    return CellReference{row, column};
}

std::optional<double> ParseIsoDate(std::string_view text)
{
    size_t pos = 0;
    if (text.size() > 2 && text[2] == ':') {
        const auto time = parseTime(text, pos);
        return time && skipTimeZone(text, pos) ? time : std::nullopt;
    }
    const auto year = digits(text, pos, 4);
    if (!year || !expect(text, pos, '-'))
        return std::nullopt;
    const auto month = digits(text, pos, 2);
    if (!month || !expect(text, pos, '-'))
        return std::nullopt;
    const auto day = digits(text, pos, 2);
    if (!day)
        return std::nullopt;
    auto serial = serialOfDate(*year, *month, *day);
    if (!serial)
        return std::nullopt;
    if (expect(text, pos, 'T') || expect(text, pos, ' ')) {
        const auto time = parseTime(text, pos);
        if (!time)
            return std::nullopt;
        *serial += *time;
    }
    return skipTimeZone(text, pos) ? serial : std::nullopt;
}

std::optional<double> ParseIsoDuration(std::string_view text)
{
    text = Trimmed(text);
    if (text.empty() || text.front() != 'P')
        return std::nullopt;
    text.remove_prefix(1);
    double seconds = 0;
    bool inTime = false;
    bool any = false;
    while (!text.empty()) {
        if (!inTime && text.front() == 'T') {
            inTime = true;
            text.remove_prefix(1);
            continue;
        }
        const auto number = leadingNumber(text);
        if (!number || text.empty())
            return std::nullopt;
        const char unit = text.front();
        text.remove_prefix(1);
        if (!inTime && unit == 'D')
            seconds += *number * 86400;
        else if (inTime && unit == 'H')
            seconds += *number * 3600;
        else if (inTime && unit == 'M')
            seconds += *number * 60;
        else if (inTime && unit == 'S')
            seconds += *number;
        else
            return std::nullopt;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return seconds / 86400;
}

QString DecodeEscapes(std::string_view utf8)
{
    // Most text has no escape: look for one before converting.
    if (utf8.find("_x") == std::string_view::npos)
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    qsizetype from = text.indexOf(u"_x");
    QString decoded;
    decoded.reserve(text.size());
    qsizetype copied = 0;
    for (; from >= 0; from = text.indexOf(u"_x", from)) {
        const auto unit = escapedUnit(QStringView(text).mid(from));
        if (!unit) {
            from += 2;
            continue;
        }
        decoded += QStringView(text).mid(copied, from - copied);
        decoded += QChar(*unit);
        from += 7;
        copied = from;
    }
    decoded += QStringView(text).mid(copied);
    return decoded;
}

} // namespace workbook::xlsx
