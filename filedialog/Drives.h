#pragma once

#include "filedialog/PathRules.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace filedialog {

// A drive of the drive list: a drive letter on Windows, a mounted file system
// elsewhere. Paths are in the native form ("C:\", "/media/usb").
struct Drive {
    QString root;
    QString label;
    // The directory the directory list opens at when this drive is chosen;
    // empty until the drive list works it out.
    QString currentDirectory;

    // "C: [SYSTEM]", "/media/usb [USB]", "/".
    QString text() const;
};

using DriveProvider = std::function<QList<Drive>()>;

// The drives a person browses: the drive letters on Windows; elsewhere "/"
// first, then the mount points of real file systems (removable media under
// /media, /mnt or /run/media among them), without the virtual ones.
QList<Drive> SystemDrives();

// Whether a mounted file system is one a person browses for files.
bool IsBrowsableMount(const QString& root, const QByteArray& fileSystemType);

// The index of the deepest drive whose root holds path, or -1.
qsizetype DriveHolding(const QList<Drive>& drives, const QString& path, const PathRules& rules);

// Gives each drive that has none its current directory: the process's
// current directory for the drive that holds it, its root for the others.
void AssignCurrentDirectories(QList<Drive>& drives, const QString& processDirectory,
                              const PathRules& rules);

} // namespace filedialog
