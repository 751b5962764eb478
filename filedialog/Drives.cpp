#include "filedialog/Drives.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>

#include <array>
#include <filesystem>
#include <string>
#include <system_error>
#endif

namespace filedialog {
namespace {

// File systems of the kernel and of containers that hold no user files.
const QSet<QByteArray>& virtualFileSystemTypes()
{
    static const QSet<QByteArray> types{
        "autofs",     "binfmt_misc", "bpf",        "cgroup",     "cgroup2",
        "configfs",   "debugfs",     "devfs",      "devpts",     "devtmpfs",
        "efivarfs",   "fusectl",     "hugetlbfs",  "mqueue",     "nsfs",
        "nullfs",     "overlay",     "proc",       "pstore",     "ramfs",
        "rpc_pipefs", "securityfs",  "selinuxfs",  "squashfs",   "sysfs",
        "tmpfs",      "tracefs",     "fuse.gvfsd-fuse", "fuse.portal"};
    return types;
}

bool isUnder(const QString& path, QLatin1String directory)
{
    return path == directory || path.startsWith(directory + QLatin1Char('/'));
}

#ifdef Q_OS_WIN
// The volume's name; empty when it has none or cannot be read, as a drive
// without a medium cannot. Choosing such a drive then says why.
QString volumeName(const std::wstring& root)
{
    std::array<wchar_t, MAX_PATH + 1> name{};
    if (!GetVolumeInformationW(root.c_str(), name.data(), static_cast<DWORD>(name.size()), nullptr, nullptr,
                               nullptr, nullptr, 0))
        return {};
    return QString::fromWCharArray(name.data());
}

QList<Drive> driveLetters()
{
    // A drive without a medium must not make the system ask for one, neither
    // now nor when it is chosen: the dialog says itself that it is not ready.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    QList<Drive> drives;
    const DWORD letters = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((letters & (DWORD(1) << letter)) == 0)
            continue;
        const wchar_t drive[] = {wchar_t(L'A' + letter), L':', L'\\', L'\0'};
        Drive listed{QString::fromWCharArray(drive), volumeName(drive), {}};
        // Windows keeps a current directory for every drive letter; "C:"
        // alone resolves to it, with a trailing backslash under some systems
        // that a directory path other than the root never has.
        std::error_code error;
        const auto current = std::filesystem::absolute(std::wstring(drive, 2), error);
        if (!error)
            listed.currentDirectory =
                QDir::toNativeSeparators(QDir::cleanPath(QString::fromStdWString(current.wstring())));
        drives.append(listed);
    }
    return drives;
}
#else
QList<Drive> mountedFileSystems()
{
    QList<Drive> drives{Drive{QStringLiteral("/"), {}, {}}};
    QList<Drive> others;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid())
            continue;
        const QString root = volume.rootPath();
        if (root == QLatin1String("/")) {
            drives.first().label = volume.name();
            continue;
        }
        const bool listed = std::any_of(others.cbegin(), others.cend(),
                                        [&](const Drive& d) { return d.root == root; });
        if (listed || !IsBrowsableMount(root, volume.fileSystemType()) || !QFileInfo(root).isDir())
            continue;
        others.append(Drive{root, volume.name(), {}});
    }
    std::sort(others.begin(), others.end(),
              [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return drives + others;
}
#endif

} // namespace

QString Drive::text() const
{
    QString shown = root;
    if (shown.size() > 1 && (shown.endsWith(QLatin1Char('\\')) || shown.endsWith(QLatin1Char('/'))))
        shown.chop(1);
    if (!label.isEmpty())
        shown += QStringLiteral(" [%1]").arg(label);
    return shown;
}

QList<Drive> SystemDrives()
{
#ifdef Q_OS_WIN
    return driveLetters();
#else
    return mountedFileSystems();
#endif
}

bool IsBrowsableMount(const QString& root, const QByteArray& fileSystemType)
{
    if (root == QLatin1String("/"))
        return true;
    if (virtualFileSystemTypes().contains(fileSystemType))
        return false;
    if (isUnder(root, QLatin1String("/run")))
        return isUnder(root, QLatin1String("/run/media"));
    for (const QLatin1String system : {QLatin1String("/proc"), QLatin1String("/sys"),
                                       QLatin1String("/dev"), QLatin1String("/boot"),
                                       QLatin1String("/snap"), QLatin1String("/var/lib/docker"),
                                       QLatin1String("/System/Volumes"),
                                       QLatin1String("/private/var/vm")}) {
        if (isUnder(root, system))
            return false;
    }
    return true;
}

qsizetype DriveHolding(const QList<Drive>& drives, const QString& path, const PathRules& rules)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (rules.holds(drives[i].root, path)
            && (found < 0 || drives[i].root.size() > drives[found].root.size()))
            found = i;
    }
    return found;
}

void AssignCurrentDirectories(QList<Drive>& drives, const QString& processDirectory,
                              const PathRules& rules)
{
    const qsizetype holder = DriveHolding(drives, processDirectory, rules);
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (drives[i].currentDirectory.isEmpty())
            drives[i].currentDirectory = i == holder ? processDirectory : drives[i].root;
    }
}

} // namespace filedialog
