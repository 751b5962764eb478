#pragma once

#include <QString>

namespace support {

// Every window caption and message box title of the tool.
inline QString AppTitle()
{
    return QStringLiteral("Veltrin联系人导入");
}

// The folder that keeps what the tool must remember between runs, such as
// the journals of unfinished imports; it may not exist yet.
QString StateFolder();

} // namespace support
