#include "filedialog/Listing.h"

#include <QCollator>
#include <QDirIterator>

#include <algorithm>

namespace filedialog {

// Sorting here rather than through QDir spares a file information object
// per entry, which makes a directory of thousands of files open at once.
QStringList ListNames(const QString& directory, QDir::Filters filters,
                      const std::function<bool(const QString&)>& keep)
{
    QStringList names;
    for (QDirIterator it(directory, filters); it.hasNext();) {
        it.next();
        const QString name = it.fileName();
        if (!keep || keep(name))
            names.append(name);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

} // namespace filedialog
