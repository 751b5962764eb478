#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The tool's configuration files: veltrin-import/veltrin-import.conf (INI) in
// the user's configuration folder and in the system's. An administrator names
// the platform's address for every user of a machine in the system's file; the
// user's file holds the user's own address and what the tool remembers between
// runs (never the password).
namespace settings {

// The file the tool writes: in $XDG_CONFIG_HOME, else ~/.config.
QString UserFile();
// The system's files in the order they are looked at: one in each folder of
// $XDG_CONFIG_DIRS, else /etc/xdg.
QStringList SystemFiles();

// A platform address found in a setting, with where it was found in words the
// user can follow to it.
struct AddressSetting {
    QString origin;
    QString value;
};

// The settings that hold an address, the one that wins first: the
// environment variable VELTRIN_BASE_URL (unless empty), the user's file, the
// system's files.
QList<AddressSetting> AddressSettings();

// Writes the address into the user's file; false with the reason when the
// file cannot be written.
bool SaveBaseURL(const QString& url, QString* problem);

// A choice that cannot be written is not remembered; nothing else depends on it.

// The user name of the last accepted login, or empty.
QString LastUserName();
void RememberUserName(const QString& userName);

// The folder of the last workbook chosen, or empty.
QString LastWorkbookFolder();
void RememberWorkbookFolder(const QString& folder);

} // namespace settings
