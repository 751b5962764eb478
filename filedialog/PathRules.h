#pragma once

#include <QString>

namespace filedialog {

// Windows names hold drive letters and backslashes and are compared without
// regard to letter case; POSIX names begin at "/" and are compared exactly.
enum class PathStyle { Windows, Posix };

// The style of the operating system the program runs on.
PathStyle NativePathStyle();

// A preset file name taken apart as the dialog opens on it.
struct PresetParts {
    // Fills the name box.
    QString name;
    // A drive, or a path whose drive is meant; empty leaves the drive list alone.
    QString drive;
    // Empty leaves the directory list alone.
    QString directory;
};

// The rules by which the dialog reads and builds file names. A file name that
// is not absolute lives in the application directory.
class PathRules {
public:
    PathRules(PathStyle style, QString applicationDirectory);

    PathStyle style() const { return style_; }
    QChar separator() const;

    bool isAbsolute(const QString& fileName) const;
    bool sameDirectory(const QString& a, const QString& b) const;
    // Whether path lies on the drive or mount point whose root is given.
    bool holds(const QString& root, const QString& path) const;
    // The directory with one separator at its end (a root keeps its own).
    QString withSeparator(const QString& directory) const;
    QString applicationDirectoryPrefix() const;

    QString fullPath(const QString& fileName) const;
    QString shortName(const QString& fileName) const;
    QString filePath(const QString& fileName) const;
    // The file name that an accepted choice stores: the bare name when the
    // directory is the application directory, else directory and name joined.
    QString acceptedFileName(const QString& directory, const QString& typedName) const;
    PresetParts splitPreset(const QString& fileName) const;

private:
    Qt::CaseSensitivity caseSensitivity() const;
    bool isDriveLetterForm(const QString& text) const;

    PathStyle style_;
    QString applicationDirectory_;
};

} // namespace filedialog
