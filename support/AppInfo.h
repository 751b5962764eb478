#pragma once

#include <QString>
#include <QStringList>

namespace support {

// Every window caption and message box title of the tool.
inline QString AppTitle()
{
    return QStringLiteral("Veltrin联系人导入");
}

// The folder that keeps what the tool must remember between runs, such as
// the journals of unfinished imports; it may not exist yet.
QString StateFolder();

// The folder of the user's own configuration, and those of the system's,
// the one to read first first: QStandardPaths' GenericConfigLocation. On
// Windows, which has no XDG variables of its own, XDG_CONFIG_HOME,
// XDG_CONFIG_DIRS (";"-separated there) and XDG_STATE_HOME name the folders
// when they are set, as they do elsewhere: the tests give each program
// folders of its own so, where Windows' own are the user's for good.
QString UserConfigFolder();
QStringList SystemConfigFolders();

} // namespace support
