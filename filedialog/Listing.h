#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>

namespace filedialog {

// The names of the entries of directory that pass filters (hidden entries
// only when asked for) and keep, in the user's alphabetical order without
// regard to letter case. An unreadable directory lists nothing.
QStringList ListNames(const QString& directory, QDir::Filters filters,
                      const std::function<bool(const QString&)>& keep = {});

} // namespace filedialog
