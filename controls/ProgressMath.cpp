#include "controls/ProgressMath.h"

#include "support/Numbers.h"

#include <array>

namespace controls {

OleColor SysColorToRGB(OleColor color)
{
    static constexpr std::array<OleColor, 24> fixed = {
        0xC8D0D4, // scroll bars
        0xA56E3A, // desktop
        0x6A240A, // active title bar
        0x808080, // inactive title bar
        0xC8D0D4, // menu bar
        0xFFFFFF, // window background
        0x000000, // window frame
        0x000000, // menu text
        0x000000, // window text
        0xFFFFFF, // title bar text
        0xC8D0D4, // active border
        0xC8D0D4, // inactive border
        0x808080, // application workspace
        0x6A240A, // highlight
        0xFFFFFF, // highlight text
        0xC8D0D4, // button face
        0x808080, // button shadow
        0x808080, // grey text
        0x000000, // button text
        0xC8D0D4, // inactive title bar text
        0xFFFFFF, // 3-D highlight
        0x404040, // 3-D dark shadow
        0xC8D0D4, // 3-D light
        0x000000, // tool tip text
    };
    if (!IsSystemColor(color))
        return color;
    const OleColor index = color & ~SystemColorFlag;
    return index < fixed.size() ? fixed[index] : color;
}

QColor ToQColor(OleColor color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

OleColor FromQColor(const QColor& color)
{
    return static_cast<OleColor>(color.red()) | static_cast<OleColor>(color.green()) << 8
        | static_cast<OleColor>(color.blue()) << 16;
}

int32_t PercentOf(int32_t value, int32_t min, int32_t range)
{
    const int32_t hundredfold = support::CheckedMul(support::CheckedSub(value, min), 100);
    return support::RoundHalfEven(static_cast<double>(hundredfold) / range);
}

int32_t UnitOf(int32_t width)
{
    return support::RoundHalfEven(width / 100.0);
}

QString PercentText(int32_t percent)
{
    return (percent < 0 ? QString() : QStringLiteral(" ")) + QString::number(percent) + QLatin1Char('%');
}

} // namespace controls
