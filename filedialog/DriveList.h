#pragma once

#include "filedialog/Drives.h"
#include "filedialog/PathRules.h"

#include <QComboBox>

namespace filedialog {

// Drop-down list of the drives. Its drive is the text of the chosen entry;
// every change of it, by the user or by the program, raises changed().
class DriveList : public QComboBox {
    Q_OBJECT

public:
    // Opens at the drive that holds the process's current directory.
    DriveList(QList<Drive> drives, const PathRules& rules, QWidget* parent = nullptr);

    QString drive() const;
    const Drive& currentDrive() const;
    // Takes a drive's text as listed, a drive ("C:") or a path whose drive is
    // meant. Throws BrowseError when no listed drive fits.
    void setDrive(const QString& driveOrPath);

signals:
    void changed();

private:
    qsizetype indexOf(const QString& driveOrPath) const;

    QList<Drive> drives_;
    PathRules rules_;
};

} // namespace filedialog
