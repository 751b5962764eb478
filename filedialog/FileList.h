#pragma once

#include "filedialog/FilePattern.h"

#include <QListWidget>

namespace filedialog {

// The files of one directory whose names match a pattern, without their
// directory. entryClicked() comes with every change of the selected entry,
// whether the user or the program makes it, and with every click on an entry.
class FileList : public QListWidget {
    Q_OBJECT

public:
    // Lists every file ("*.*") of the process's current directory.
    explicit FileList(QWidget* parent = nullptr);

    QString directory() const { return directory_; }
    void setDirectory(const QString& directory);
    QString pattern() const { return patternText_; }
    // Re-reads the list, which forgets the selection, unless the pattern is
    // the one in force. Throws BrowseError, leaving the list as it was, for a
    // pattern that names a directory.
    void setPattern(const QString& pattern);

    QString entry(int index) const;
    // Negative when no entry is selected.
    int selectedIndex() const;
    void setSelectedIndex(int index);

    // "1" while the name box drives the selection, empty otherwise.
    QString busyMark() const { return busyMark_; }
    void setBusyMark(const QString& mark) { busyMark_ = mark; }

signals:
    void entryClicked();
    void entryDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void reload();
    void selectionChangedByUser();

    QString directory_;
    QString patternText_;
    FilePattern pattern_;
    QString busyMark_;
    bool quiet_ = false;
};

} // namespace filedialog
