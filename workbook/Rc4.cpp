#include "workbook/Rc4.h"

#include <numeric>
#include <utility>

namespace workbook {

Rc4::Rc4(QByteArrayView key)
{
    std::iota(state_.begin(), state_.end(), uint8_t{0});
    uint8_t j = 0;
    for (size_t i = 0; i < state_.size(); ++i) {
        j = static_cast<uint8_t>(j + state_[i] + static_cast<uint8_t>(key[static_cast<qsizetype>(i) % key.size()]));
        std::swap(state_[i], state_[j]);
    }
}

void Rc4::apply(char* data, qsizetype length)
{
    for (qsizetype n = 0; n < length; ++n) {
        ++i_;
        j_ = static_cast<uint8_t>(j_ + state_[i_]);
        std::swap(state_[i_], state_[j_]);
        data[n] = static_cast<char>(data[n] ^ state_[static_cast<uint8_t>(state_[i_] + state_[j_])]);
    }
}

} // namespace workbook
