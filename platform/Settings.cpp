#include "platform/Settings.h"

#include "support/AppInfo.h"

#include <QDir>
#include <QSettings>

namespace settings {
namespace {

const QString FileInFolder = QStringLiteral("veltrin-import/veltrin-import.conf");
const QString BaseUrlKey = QStringLiteral("platform/base_url");
const QString UserNameKey = QStringLiteral("login/user_name");
const QString WorkbookFolderKey = QStringLiteral("workbook/folder");
constexpr char AddressVariable[] = "VELTRIN_BASE_URL";

QString fileIn(const QString& folder)
{
    return QDir(folder).filePath(FileInFolder);
}

// An unquoted value with a comma reads back as a list; the text is what the
// person wrote.
QString readText(const QString& file, const QString& key)
{
    const QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

bool writeText(const QString& key, const QString& value)
{
    QSettings settings(UserFile(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString UserFile()
{
    return fileIn(support::UserConfigFolder());
}

QStringList SystemFiles()
{
    QStringList files;
    for (const QString& folder : support::SystemConfigFolders())
        files.append(fileIn(folder));
    return files;
}

QList<AddressSetting> AddressSettings()
{
    QList<AddressSetting> found;
    if (!qEnvironmentVariableIsEmpty(AddressVariable))
        found.append({QStringLiteral("环境变量 %1").arg(QLatin1String(AddressVariable)),
                      qEnvironmentVariable(AddressVariable)});
    for (const QString& file : QStringList{UserFile()} + SystemFiles()) {
        const QString value = readText(file, BaseUrlKey);
        if (!value.isEmpty())
            found.append({QStringLiteral("配置文件 %1").arg(QDir::toNativeSeparators(file)), value});
    }
    return found;
}

bool SaveBaseURL(const QString& url, QString* problem)
{
    if (writeText(BaseUrlKey, url))
        return true;
    if (problem)
        *problem = QStringLiteral("无法写入配置文件 %1").arg(QDir::toNativeSeparators(UserFile()));
    return false;
}

QString LastUserName()
{
    return readText(UserFile(), UserNameKey);
}

void RememberUserName(const QString& userName)
{
    writeText(UserNameKey, userName);
}

QString LastWorkbookFolder()
{
    return readText(UserFile(), WorkbookFolderKey);
}

void RememberWorkbookFolder(const QString& folder)
{
    writeText(WorkbookFolderKey, folder);
}

} // namespace settings
