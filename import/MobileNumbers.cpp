#include "import/MobileNumbers.h"

#include <array>
#include <string_view>

namespace contacts {
namespace {

// The longest country code in front: "0086".
constexpr size_t MaxCharacters = MobileNumberDigits + 4;

bool isSeparator(char16_t c)
{
    return c == u' ' || c == u'\u3000' || c == u'\u00A0' || c == u'-' || (c >= u'\u2010' && c <= u'\u2015')
        || c == u'\uFF0D';
}

// The ASCII form of a character that a written mobile number may hold besides
// its separators; 0 for any other. A full-width "+" comes with full-width digits.
char asciiForm(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return static_cast<char>(c);
    if (c >= u'\uFF10' && c <= u'\uFF19')
        return static_cast<char>('0' + (c - u'\uFF10'));
    if (c == u'+' || c == u'\uFF0B')
        return '+';
    return 0;
}

std::string_view withoutCountryCode(std::string_view number)
{
    for (std::string_view code : {"+86", "0086", "86"}) {
        if (number.starts_with(code))
            return number.substr(code.size());
    }
    return number;
}

char16_t unitOf(QChar c)
{
    return c.unicode();
}

char16_t unitOf(char c)
{
    return static_cast<unsigned char>(c);
}

// The 11 digits "1", 3 to 9, then nine digits, as a number: the numbers from
// 13000000000 to 19999999999 written with 11 digits.
template <typename Characters> uint64_t mobileValue(const Characters& digits)
{
    if (digits.size() != MobileNumberDigits)
        return 0;
    uint64_t value = 0;
    for (const auto character : digits) {
        const char16_t c = unitOf(character);
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
    }
    return value >= 13'000'000'000 && value < 20'000'000'000 ? value : 0;
}

} // namespace

MobileNumber ReadMobileNumber(QStringView text)
{
    // Most mobile cells hold the 11 digits alone.
    if (const uint64_t value = mobileValue(text))
        return {value, true};
    std::array<char, MaxCharacters> kept;
    size_t count = 0;
    for (QChar character : text) {
        const char16_t c = character.unicode();
        if (isSeparator(c))
            continue;
        const char ascii = asciiForm(c);
        if (ascii == 0 || count == kept.size())
            return {};
        kept[count++] = ascii;
    }
    return {mobileValue(withoutCountryCode({kept.data(), count})), false};
}

bool IsWrittenDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'\uFF10' && u <= u'\uFF19');
}

} // namespace contacts
