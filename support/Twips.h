#pragma once

#include <QRect>

class QWidget;

namespace support {

// Window and control geometry is given in twips, 1/1440 inch; the screen's
// logical DPI turns it into pixels.
inline constexpr int TwipsPerInch = 1440;

int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);
QRect TwipsRect(int left, int top, int width, int height);

// Places a control at a position and size given in twips.
void PlaceTwips(QWidget* widget, int left, int top, int width, int height);
// Gives a window a client area of the size given in twips.
void SetClientSizeTwips(QWidget* window, int width, int height);

} // namespace support
