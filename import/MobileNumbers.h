#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace contacts {

inline constexpr qsizetype MobileNumberDigits = 11;

// A mainland mobile number: 11 digits, "1", then 3 to 9, then nine digits.
// People also write them with spaces (U+0020, U+3000, U+00A0) and hyphens
// (U+002D, U+2010 to U+2015, U+FF0D) in between, behind one "+86", "0086" or
// "86", and in full-width digits; such a text is a mobile number too, and its
// 11 digits are what a contact keeps.
struct MobileNumber {
    // The 11 digits as a number, for telling numbers apart without a text; 0
    // when the text is no mobile number.
    uint64_t value = 0;
    // The text was the 11 ASCII digits alone, so it can serve as it is.
    bool plain = false;

    explicit operator bool() const { return value != 0; }
    QString digits() const { return QString::number(value); }
};

// Allocates nothing: it runs on every mobile cell of a sheet.
MobileNumber ReadMobileNumber(QStringView text);

// An ASCII or a full-width digit.
bool IsWrittenDigit(QChar c);

} // namespace contacts
