#include "filedialog/DirList.h"

#include "filedialog/BrowseError.h"
#include "filedialog/Listing.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace filedialog {
namespace {

constexpr int PathRole = Qt::UserRole;

// Opening the directory is the test of whether it can be read, so the error
// the user sees is the operating system's own. On Windows that is the
// system's message in the system's language ("设备未就绪。" for a drive
// without a medium); MinGW's std::filesystem would give the C library's
// English texts.
void probeDirectory(const QString& directory)
{
#ifdef Q_OS_WIN
    WIN32_FIND_DATAW found;
    const std::wstring pattern = QDir::toNativeSeparators(QDir(directory).filePath(QStringLiteral("*"))).toStdWString();
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return;
    }
    // An empty root has no "." to find.
    if (const DWORD code = GetLastError(); code != ERROR_FILE_NOT_FOUND)
        throw BrowseError(qt_error_string(static_cast<int>(code)).trimmed());
#else
    std::error_code error;
    const std::filesystem::directory_iterator probe(QDir(directory).filesystemPath(), error);
    if (error)
        throw BrowseError(QString::fromLocal8Bit(error.message()));
#endif
}

QStringList readSubdirectories(const QString& directory)
{
    probeDirectory(directory);
    return ListNames(directory, QDir::Dirs | QDir::NoDotAndDotDot);
}

// The directories from the root down to directory.
QStringList ancestry(const QString& directory)
{
    QStringList chain{directory};
    QDir dir(directory);
    while (!dir.isRoot() && dir.cdUp())
        chain.prepend(dir.absolutePath());
    return chain;
}

QString listedName(const QString& directory)
{
    const QString name = QFileInfo(directory).fileName();
    return name.isEmpty() ? QDir::toNativeSeparators(directory) : name;
}

} // namespace

DirList::DirList(const PathRules& rules, QWidget* parent) : QTreeWidget(parent), rules_(rules)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(fontMetrics().averageCharWidth() * 2);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &DirList::openItem);

    const QString processDirectory = QDir::currentPath();
    try {
        setPath(processDirectory);
    } catch (const BrowseError&) {
        current_ = processDirectory;
    }
}

QString DirList::path() const
{
    return QDir::toNativeSeparators(current_);
}

void DirList::setPath(const QString& path)
{
    const QString target = resolve(path);
    const QStringList subdirectories = readSubdirectories(target);
    const bool moved = target != current_;
    current_ = target;
    display(target, subdirectories);
    if (moved)
        emit changed();
}

void DirList::setDrive(const Drive& drive)
{
    setPath(drive.currentDirectory.isEmpty() ? drive.root : drive.currentDirectory);
}

QString DirList::resolve(const QString& path) const
{
    QString target = QDir::fromNativeSeparators(path);
    const bool driveWithoutRoot = rules_.style() == PathStyle::Windows && target.size() >= 2
        && target.at(1) == QLatin1Char(':')
        && (target.size() == 2 || target.at(2) != QLatin1Char('/'));
    if (driveWithoutRoot) {
        // Windows keeps a current directory for every drive letter; the
        // system resolves "C:" and "C:sub" against it.
        std::error_code error;
        const auto full = std::filesystem::absolute(target.toStdWString(), error);
        if (!error)
            target = QDir::fromNativeSeparators(QString::fromStdWString(full.wstring()));
    } else if (QDir::isRelativePath(target)) {
        target = QDir::fromNativeSeparators(rules_.applicationDirectoryPrefix()) + target;
    }
    return QDir::cleanPath(target);
}

void DirList::display(const QString& directory, const QStringList& subdirectories)
{
    clear();
    const QIcon openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedFolder = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QTreeWidgetItem* current = nullptr;
    for (const QString& dir : ancestry(directory)) {
        auto* item = current ? new QTreeWidgetItem(current) : new QTreeWidgetItem(this);
        item->setText(0, listedName(dir));
        item->setData(0, PathRole, dir);
        item->setIcon(0, openFolder);
        current = item;
    }
    const QDir dir(directory);
    for (const QString& name : subdirectories) {
        auto* item = new QTreeWidgetItem(current);
        item->setText(0, name);
        item->setData(0, PathRole, dir.filePath(name));
        item->setIcon(0, closedFolder);
    }
    expandAll();
    setCurrentItem(current);
    revealCurrent();
}

// Enter on the open directory itself is left to the dialog, whose default
// button then takes it.
void DirList::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* highlighted = currentItem();
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && highlighted && highlighted->data(0, PathRole).toString() != current_) {
        openItem(highlighted);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// Before the list is first shown its viewport has no size yet, so scrolling
// then would hide the top rows for nothing.
void DirList::showEvent(QShowEvent* event)
{
    QTreeWidget::showEvent(event);
    revealCurrent();
}

// Every directory shown is open or a leaf: there is nothing to expand or
// collapse, so no branch marks are drawn.
void DirList::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {}

void DirList::revealCurrent()
{
    scrollToTop();
    if (QTreeWidgetItem* current = currentItem())
        scrollToItem(current);
}

void DirList::openItem(QTreeWidgetItem* item)
{
    try {
        setPath(item->data(0, PathRole).toString());
    } catch (const BrowseError& error) {
        emit openFailed(error.description());
    }
}

} // namespace filedialog
