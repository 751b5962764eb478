#include "support/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace support {
namespace {

// "宋体" (SimSun) is both: monospaced, with Chinese characters twice as wide.
QFont firstInstalled(const QStringList& families, int pointSize, QFontDatabase::SystemFont fallback)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family)) {
            QFont font(family);
            font.setPointSize(pointSize);
            return font;
        }
    }
    return QFontDatabase::systemFont(fallback);
}

} // namespace

QFont WindowFont()
{
    return firstInstalled({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC")}, 9,
                          QFontDatabase::GeneralFont);
}

QFont AlignedFont()
{
    return firstInstalled({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans Mono CJK SC")},
                          10, QFontDatabase::FixedFont);
}

} // namespace support
