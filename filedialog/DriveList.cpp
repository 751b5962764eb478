#include "filedialog/DriveList.h"

#include "filedialog/BrowseError.h"

#include <QDir>

#include <utility>

namespace filedialog {

DriveList::DriveList(QList<Drive> drives, const PathRules& rules, QWidget* parent)
    : QComboBox(parent), drives_(std::move(drives)), rules_(rules)
{
    const QString processDirectory = QDir::toNativeSeparators(QDir::currentPath());
    AssignCurrentDirectories(drives_, processDirectory, rules_);
    for (const Drive& d : std::as_const(drives_))
        addItem(d.text());
    setCurrentIndex(static_cast<int>(std::max<qsizetype>(0, indexOf(processDirectory))));
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

QString DriveList::drive() const
{
    return currentText();
}

const Drive& DriveList::currentDrive() const
{
    static const Drive none;
    const int index = currentIndex();
    return index < 0 ? none : drives_.at(index);
}

void DriveList::setDrive(const QString& driveOrPath)
{
    const qsizetype index = indexOf(driveOrPath);
    if (index < 0)
        throw BrowseError(QStringLiteral("找不到驱动器“%1”。").arg(driveOrPath));
    setCurrentIndex(static_cast<int>(index));
}

qsizetype DriveList::indexOf(const QString& driveOrPath) const
{
    for (qsizetype i = 0; i < drives_.size(); ++i) {
        if (drives_[i].text() == driveOrPath)
            return i;
    }
    return DriveHolding(drives_, driveOrPath, rules_);
}

} // namespace filedialog
