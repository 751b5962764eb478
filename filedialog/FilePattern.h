#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>

#include <optional>

namespace filedialog {

// One or more file name patterns separated by ";", with "*" (any run of
// characters) and "?" (any one character), matched without regard to letter
// case the way the file dialogs of Windows match them.
class FilePattern {
public:
    // Refuses a pattern that names a directory (holds "/" or "\").
    static std::optional<FilePattern> parse(const QString& text);

    bool matches(const QString& fileName) const;

private:
    QList<QRegularExpression> parts_;
};

} // namespace filedialog
