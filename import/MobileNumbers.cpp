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

uint64_t mobileValue(std::string_view digits)
{
    if (digits.size() != static_cast<size_t>(MobileNumberDigits) || digits[0] != '1' || digits[1] < '3' || digits[1] > '9')
        return 0;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

} // namespace

MobileNumber ReadMobileNumber(QStringView text)
{
    std::array<char, MaxCharacters> kept;
    size_t count = 0;
    bool plain = text.size() == MobileNumberDigits;
    for (QChar character : text) {
        const char16_t c = character.unicode();
        if (isSeparator(c)) {
            plain = false;
            continue;
        }
        const char ascii = asciiForm(c);
        if (ascii == 0 || count == kept.size())
            return {};
        plain = plain && ascii == c;
        kept[count++] = ascii;
    }
    const uint64_t value = mobileValue(withoutCountryCode({kept.data(), count}));
    return {value, value != 0 && plain};
}

bool IsWrittenDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'\uFF10' && u <= u'\uFF19');
}

} // namespace contacts
