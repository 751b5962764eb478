#pragma once

#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace workbook {

// The RC4 stream cipher, which encrypted .xls workbooks use. Qt offers the
// hashes these need but no cipher, and no library linked on every platform
// offers RC4, so it is here: a key schedule and a keystream.
class Rc4 {
public:
    // key: 1 to 256 bytes.
    explicit Rc4(QByteArrayView key);
    // XORs the next length bytes of the keystream into data.
    void apply(char* data, qsizetype length);

private:
    std::array<uint8_t, 256> state_{};
    uint8_t i_ = 0;
    uint8_t j_ = 0;
};

} // namespace workbook
