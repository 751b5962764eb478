#include "support/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace support {
namespace {

double logicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

int TwipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips * logicalDpi() / TwipsPerInch));
}

double PixelsToTwips(int pixels)
{
    return pixels * TwipsPerInch / logicalDpi();
}

QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

void PlaceTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(TwipsRect(left, top, width, height));
}

void SetClientSizeTwips(QWidget* window, int width, int height)
{
    window->setFixedSize(TwipsToPixels(width), TwipsToPixels(height));
}

} // namespace support
