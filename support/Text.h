#pragma once

#include <QString>
#include <QStringView>

namespace support {

// Removes the ordinary space character (U+0020) only, at both ends; tabs,
// line breaks and ideographic spaces stay, unlike QString::trimmed().
QString TrimSpaces(const QString& text);
// The same at the start only.
QString TrimLeadingSpaces(QStringView text);

} // namespace support
