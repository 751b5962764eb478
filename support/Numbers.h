#pragma once

#include <QString>

#include <QStringView>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace support {

// Integer arithmetic of the tool is signed 32-bit and an overflow is an error
// handed to the caller, never a silent wrap.
class OverflowError : public std::overflow_error {
public:
    OverflowError() : std::overflow_error("overflow") {}
};

// Nearest integer, exact halves to the even neighbour (54.5 -> 54, 55.5 -> 56).
// Throws OverflowError when the result does not fit in 32 bits.
int32_t RoundHalfEven(double value);

int32_t CheckedAdd(int32_t a, int32_t b);
int32_t CheckedSub(int32_t a, int32_t b);
int32_t CheckedMul(int32_t a, int32_t b);

// Plain decimal text of a number with at most 15 significant digits: whole
// numbers below 1E15 give exactly their digits, no thousands separators, and
// an exponent only from 1E15 up or for very small magnitudes ("1E+15", "1E-05").
QString NumberText(double value);

} // namespace support

namespace support {

// A decimal integer text within the signed 32-bit range, surrounding spaces
// allowed; a letter, a fraction or a value out of range gives no value.
std::optional<int32_t> ParseInt32(QStringView text);

} // namespace support
