#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

// The progress bar's arithmetic, free of widgets.
namespace controls {

// A colour 0x00BBGGRR, red in the low byte; with the top bit set,
// 0x80000000 + n stands for system colour n.
using OleColor = uint32_t;

inline constexpr OleColor SystemColorFlag = 0x80000000u;
inline constexpr OleColor OleWhite = 0xFFFFFFu;
inline constexpr OleColor OleBlue = 0xFF0000u;

constexpr bool IsSystemColor(OleColor color)
{
    return (color & SystemColorFlag) != 0;
}

// System colours 0 to 23 become fixed RGB values, whatever colours the running
// system uses; every other value comes back unchanged.
OleColor SysColorToRGB(OleColor color);

// The bar and the text never take a system colour: any of them becomes blue.
constexpr OleColor WithoutSystemColor(OleColor color)
{
    return IsSystemColor(color) ? OleBlue : color;
}

// The plain RGB part of a colour (system colour flag and index byte ignored).
QColor ToQColor(OleColor color);
OleColor FromQColor(const QColor& color);

// (value - min) * 100 / range, halves to even. The subtraction and the
// product are 32-bit and throw support::OverflowError past their limits.
int32_t PercentOf(int32_t value, int32_t min, int32_t range);

// The width of one percent of a control `width` twips wide.
int32_t UnitOf(int32_t width);

// " 45%": a blank stands where a minus sign would be.
QString PercentText(int32_t percent);

} // namespace controls
