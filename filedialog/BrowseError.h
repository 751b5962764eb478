#pragma once

#include <QString>

#include <stdexcept>

namespace filedialog {

// A drive, directory or pattern that a list control cannot take. The
// description is what the user is shown, often the operating system's own text.
class BrowseError : public std::runtime_error {
public:
    explicit BrowseError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description)
    {
    }

    const QString& description() const { return description_; }

private:
    QString description_;
};

} // namespace filedialog
