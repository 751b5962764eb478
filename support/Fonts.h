#pragma once

#include <QFont>

namespace support {

// The windows were laid out in twips for "宋体" at 9 points; where it is
// missing a Noto CJK face of the same size keeps the texts inside their
// controls.
QFont WindowFont();

// A font in which a Chinese character is exactly two ASCII characters wide,
// so texts padded to a number of GBK bytes line up.
QFont AlignedFont();

} // namespace support
