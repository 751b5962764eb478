#pragma once

#include <QString>

namespace support {

// Every window caption and message box title of the tool.
inline QString AppTitle()
{
    return QStringLiteral("Veltrin联系人导入");
}

} // namespace support
