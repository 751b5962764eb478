#include "support/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace support {

int32_t RoundHalfEven(double value)
{
    // nearbyint rounds with the default rounding mode, which is to-nearest-even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()))
        throw OverflowError();
    return static_cast<int32_t>(rounded);
}

int32_t CheckedAdd(int32_t a, int32_t b)
{
    int32_t result = 0;
    if (__builtin_add_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

int32_t CheckedSub(int32_t a, int32_t b)
{
    int32_t result = 0;
    if (__builtin_sub_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

int32_t CheckedMul(int32_t a, int32_t b)
{
    int32_t result = 0;
    if (__builtin_mul_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

QString NumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0.0)
        return QStringLiteral("0");
    char buffer[32];
    // Whole numbers, such as mobile numbers stored as numbers, are most
    // numbers in a contact sheet; below 1E15 their digits are their text.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value)).ptr;
        return QString::fromLatin1(buffer, end - buffer);
    }
    // What "%.15G" prints, without the C library's slow formatting.
    char* const end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
    std::replace(buffer, end, 'e', 'E');
    return QString::fromLatin1(buffer, end - buffer);
}

} // namespace support

namespace support {

std::optional<int32_t> ParseInt32(QStringView text)
{
    const QStringView digits = text.trimmed();
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

} // namespace support
