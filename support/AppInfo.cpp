#include "support/AppInfo.h"

#include <QDir>
#include <QStandardPaths>

namespace support {

namespace {

#ifdef Q_OS_WIN
// The folder a variable names, when it names an absolute one.
QString folderNamedBy(const char* variable)
{
    const QString folder = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
}
#endif

} // namespace

QString StateFolder()
{
#ifdef Q_OS_WIN
    if (const QString base = folderNamedBy("XDG_STATE_HOME"); !base.isEmpty())
        return base + QStringLiteral("/veltrin-import");
#endif
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
#elif defined(Q_OS_WIN)
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
#endif
    return base + QStringLiteral("/veltrin-import");
}

QString UserConfigFolder()
{
#ifdef Q_OS_WIN
    if (const QString folder = folderNamedBy("XDG_CONFIG_HOME"); !folder.isEmpty())
        return folder;
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QStringList SystemConfigFolders()
{
#ifdef Q_OS_WIN
    if (!qEnvironmentVariableIsEmpty("XDG_CONFIG_DIRS")) {
        QStringList folders;
        const QString named = qEnvironmentVariable("XDG_CONFIG_DIRS");
        for (const QString& folder : named.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
            if (QDir::isAbsolutePath(folder))
                folders.append(QDir::cleanPath(folder));
        }
        return folders;
    }
#endif
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.removeAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return folders;
}

} // namespace support
