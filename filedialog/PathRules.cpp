#include "filedialog/PathRules.h"

#include <utility>

namespace filedialog {

PathStyle NativePathStyle()
{
#ifdef Q_OS_WIN
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

PathRules::PathRules(PathStyle style, QString applicationDirectory)
    : style_(style), applicationDirectory_(std::move(applicationDirectory))
{
}

QChar PathRules::separator() const
{
    return style_ == PathStyle::Windows ? QLatin1Char('\\') : QLatin1Char('/');
}

Qt::CaseSensitivity PathRules::caseSensitivity() const
{
    return style_ == PathStyle::Windows ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

bool PathRules::isDriveLetterForm(const QString& text) const
{
    return style_ == PathStyle::Windows && text.size() >= 2 && text.at(0).isLetter()
        && text.at(1) == QLatin1Char(':');
}

// A colon anywhere means a drive and two backslashes anywhere a network path:
// such a name is taken as written, everything else lives in the application
// directory.
bool PathRules::isAbsolute(const QString& fileName) const
{
    if (style_ == PathStyle::Posix)
        return fileName.startsWith(QLatin1Char('/'));
    return fileName.contains(QLatin1Char(':')) || fileName.contains(QLatin1String("\\\\"));
}

bool PathRules::sameDirectory(const QString& a, const QString& b) const
{
    return a.compare(b, caseSensitivity()) == 0;
}

bool PathRules::holds(const QString& root, const QString& path) const
{
    if (isDriveLetterForm(root) && isDriveLetterForm(path))
        return root.at(0).toUpper() == path.at(0).toUpper();
    const QString rootWithSeparator = withSeparator(root);
    return path.startsWith(rootWithSeparator, caseSensitivity())
        || sameDirectory(withSeparator(path), rootWithSeparator);
}

QString PathRules::withSeparator(const QString& directory) const
{
    return directory.endsWith(separator()) ? directory : directory + separator();
}

QString PathRules::applicationDirectoryPrefix() const
{
    return withSeparator(applicationDirectory_);
}

QString PathRules::fullPath(const QString& fileName) const
{
    return isAbsolute(fileName) ? fileName : applicationDirectoryPrefix() + fileName;
}

// Only the separator splits here: in Windows style "C:book.xls" is its own
// short name.
QString PathRules::shortName(const QString& fileName) const
{
    return fileName.mid(fileName.lastIndexOf(separator()) + 1);
}

QString PathRules::filePath(const QString& fileName) const
{
    const qsizetype last = fileName.lastIndexOf(separator());
    return last < 0 ? applicationDirectoryPrefix() : fileName.left(last + 1);
}

QString PathRules::acceptedFileName(const QString& directory, const QString& typedName) const
{
    const QString name = typedName.trimmed();
    const QString prefix = withSeparator(directory);
    return sameDirectory(prefix, applicationDirectoryPrefix()) ? name : prefix + name;
}

PresetParts PathRules::splitPreset(const QString& fileName) const
{
    qsizetype end = fileName.lastIndexOf(separator()) + 1;
    if (style_ == PathStyle::Windows)
        end = std::max(end, fileName.lastIndexOf(QLatin1Char(':')) + 1);

    PresetParts parts;
    parts.name = fileName.mid(end);
    parts.directory = fileName.left(end);
    if (style_ == PathStyle::Windows) {
        if (fileName.size() >= 2 && fileName.at(1) == QLatin1Char(':'))
            parts.drive = fileName.left(2);
    } else if (isAbsolute(parts.directory)) {
        parts.drive = parts.directory;
    }
    return parts;
}

} // namespace filedialog
