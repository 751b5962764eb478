#pragma once

#include "filedialog/Drives.h"
#include "filedialog/PathRules.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace filedialog {

class DirList;
class DriveList;
class FileList;

// The program's own modal dialog for choosing one file to open. The object
// lives for the whole run and keeps its values; its window exists only while
// it is shown, so a caller reads the result after the window has gone.
class FrmSelFile : public QObject {
    Q_OBJECT

public:
    FrmSelFile();
    ~FrmSelFile() override;
    FrmSelFile(const FrmSelFile&) = delete;
    FrmSelFile& operator=(const FrmSelFile&) = delete;

    // True when the latest showing ended with an accepted OK.
    bool Selected() const;
    // A bare name (a file in the application directory) or a path with its
    // directory, stored exactly as written. Written before a showing, it
    // presets the drive, the directory and the name box.
    QString FileName() const;
    void setFileName(const QString& New_Value);
    // Never empty: an empty filter is "*.*".
    QString Filter() const;
    void setFilter(const QString& New_Value);
    QString FullPath() const;
    QString ShortName() const;
    // Always ends with a separator.
    QString FilePath() const;
    // Shows the window modally and returns once it has closed. An argument
    // left out keeps the previous value of its property. Does nothing while
    // the window is already shown.
    void SelectFile(const std::optional<QString>& OriFileName = std::nullopt,
                    const std::optional<QString>& FilterStr = std::nullopt);

    // The directory that bare names live in; the program's own directory
    // unless set.
    void setApplicationDirectory(const QString& directory);
    // Where the drive list takes its drives from; SystemDrives unless set.
    void setDriveProvider(DriveProvider provider);

private:
    struct Window;

    PathRules rules() const;
    void createWindow();
    void connectHandlers();

    void Form_Load();
    void Form_Unload();
    void lstDriver_Change();
    void lstDir_Change();
    void lstDir_OpenFailed(const QString& description);
    void lstFile_Click();
    void lstFile_DblClick();
    void txtFile_Change();
    void txtFilter_Change();
    void cmdOK_Click();
    void cmdCancel_Click();
    void openTypedFolder(const QString& folder);

    void SyncFileList();
    void ApplyFilter();
    void PlaceForm(bool recording);

    QString fileName_;
    QString filter_;
    bool selected_ = false;

    QString lastGoodDrive_;
    bool placed_ = false;
    float left_ = 0;
    float top_ = 0;

    QString applicationDirectory_;
    DriveProvider driveProvider_;

    std::unique_ptr<Window> window_;
};

// The dialog object of the run, created on first use.
FrmSelFile& frmSelFile();

} // namespace filedialog
