#pragma once

#include "filedialog/Drives.h"
#include "filedialog/PathRules.h"

#include <QTreeWidget>

namespace filedialog {

// The current directory with the directories above it and its
// subdirectories, indented as a tree. A single click only highlights a
// directory; a double-click or Enter opens it. Every change of the current
// directory raises changed().
class DirList : public QTreeWidget {
    Q_OBJECT

public:
    // Opens at the process's current directory.
    explicit DirList(const PathRules& rules, QWidget* parent = nullptr);

    // The current directory in native form: a root ends with its separator,
    // any other directory does not.
    QString path() const;
    // Takes a full path, a path ending with a separator, a path relative to
    // the application directory or, in Windows style, a bare drive ("C:",
    // whose current directory is meant). Throws BrowseError with the
    // operating system's description when the directory cannot be read.
    void setPath(const QString& path);
    // Moves to the drive's current directory.
    void setDrive(const Drive& drive);

signals:
    void changed();
    // A directory the user opened could not be read.
    void openFailed(const QString& description);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
    void revealCurrent();
    QString resolve(const QString& path) const;
    void display(const QString& directory, const QStringList& subdirectories);
    void openItem(QTreeWidgetItem* item);

    PathRules rules_;
    QString current_;
};

} // namespace filedialog
