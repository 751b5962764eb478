#include "filedialog/FileList.h"

#include "filedialog/BrowseError.h"
#include "filedialog/Listing.h"

#include <QDir>
#include <QMouseEvent>

namespace filedialog {

FileList::FileList(QWidget* parent)
    : QListWidget(parent),
      directory_(QDir::toNativeSeparators(QDir::currentPath())),
      patternText_(QStringLiteral("*.*")),
      pattern_(*FilePattern::parse(patternText_))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileList::selectionChangedByUser);
    connect(this, &QListWidget::itemDoubleClicked, this, &FileList::entryDoubleClicked);
    reload();
}

void FileList::setDirectory(const QString& directory)
{
    directory_ = directory;
    reload();
}

void FileList::setPattern(const QString& pattern)
{
    if (pattern == patternText_)
        return;
    std::optional<FilePattern> parsed = FilePattern::parse(pattern);
    if (!parsed)
        throw BrowseError(QStringLiteral("文件过滤“%1”不是文件名的式样。").arg(pattern));
    patternText_ = pattern;
    pattern_ = std::move(*parsed);
    reload();
}

QString FileList::entry(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

int FileList::selectedIndex() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void FileList::setSelectedIndex(int index)
{
    quiet_ = true;
    if (index >= 0 && index < count()) {
        setCurrentRow(index);
        scrollToItem(item(index));
    } else {
        clearSelection();
    }
    quiet_ = false;
    emit entryClicked();
}

// A click on the entry that is already selected changes nothing, yet it
// still chooses that entry; a press that changes the selection counts once.
void FileList::mousePressEvent(QMouseEvent* event)
{
    const int before = selectedIndex();
    quiet_ = true;
    QListWidget::mousePressEvent(event);
    quiet_ = false;
    if (itemAt(event->position().toPoint()) || selectedIndex() != before)
        emit entryClicked();
}

void FileList::selectionChangedByUser()
{
    if (!quiet_)
        emit entryClicked();
}

// Re-reading forgets the selection without a click: the entries it pointed
// at are gone.
void FileList::reload()
{
    const QStringList names = ListNames(directory_, QDir::Files, [this](const QString& name) {
        return pattern_.matches(name);
    });
    quiet_ = true;
    clear();
    addItems(names);
    setCurrentRow(-1);
    quiet_ = false;
}

} // namespace filedialog
