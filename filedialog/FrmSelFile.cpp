#include "filedialog/FrmSelFile.h"

#include "filedialog/BrowseError.h"
#include "filedialog/DirList.h"
#include "filedialog/DriveList.h"
#include "filedialog/FileList.h"
#include "support/MessageBox.h"
#include "support/Twips.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <utility>

namespace filedialog {

using support::MsgBox;
using support::MsgIcon;
using support::PlaceTwips;

namespace {

const QString AllFiles = QStringLiteral("*.*");

// A loading step that fails is skipped and loading goes on with the next.
template <typename Step>
void skipOnFailure(Step step)
{
    try {
        step();
    } catch (const BrowseError&) {
    }
}

} // namespace

// The window and its controls, alive only while the dialog is shown. The
// handlers hang on their own object, which goes first, so tearing the
// controls down raises none of them.
struct FrmSelFile::Window {
    std::unique_ptr<QDialog> form;
    std::unique_ptr<QObject> handlers = std::make_unique<QObject>();
    DirList* lstDir = nullptr;
    DriveList* lstDriver = nullptr;
    FileList* lstFile = nullptr;
    QLineEdit* txtFile = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLineEdit* txtFilter = nullptr;
    QLabel* lblCaption = nullptr;
};

FrmSelFile::FrmSelFile() = default;
FrmSelFile::~FrmSelFile() = default;

bool FrmSelFile::Selected() const
{
    return selected_;
}

QString FrmSelFile::FileName() const
{
    return fileName_;
}

void FrmSelFile::setFileName(const QString& New_Value)
{
    fileName_ = New_Value;
}

QString FrmSelFile::Filter() const
{
    return filter_.isEmpty() ? AllFiles : filter_;
}

void FrmSelFile::setFilter(const QString& New_Value)
{
    filter_ = New_Value.isEmpty() ? AllFiles : New_Value;
}

QString FrmSelFile::FullPath() const
{
    return rules().fullPath(fileName_);
}

QString FrmSelFile::ShortName() const
{
    return rules().shortName(fileName_);
}

QString FrmSelFile::FilePath() const
{
    return rules().filePath(fileName_);
}

void FrmSelFile::SelectFile(const std::optional<QString>& OriFileName,
                            const std::optional<QString>& FilterStr)
{
    // The window is modal, so only code running inside it could ask again;
    // a second window would tear the first down under its own event loop.
    if (window_)
        return;
    if (OriFileName)
        setFileName(*OriFileName);
    if (FilterStr)
        setFilter(*FilterStr);

    createWindow();
    connectHandlers();
    Form_Load();
    window_->form->exec();
    Form_Unload();
    window_.reset();
}

void FrmSelFile::setApplicationDirectory(const QString& directory)
{
    applicationDirectory_ = directory;
}

void FrmSelFile::setDriveProvider(DriveProvider provider)
{
    driveProvider_ = std::move(provider);
}

PathRules FrmSelFile::rules() const
{
    const QString directory = applicationDirectory_.isEmpty()
        ? QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
        : applicationDirectory_;
    return PathRules(NativePathStyle(), directory);
}

void FrmSelFile::createWindow()
{
    window_ = std::make_unique<Window>();
    Window& w = *window_;
    const PathRules pathRules = rules();

    w.form = std::make_unique<QDialog>(nullptr, Qt::Tool | Qt::CustomizeWindowHint
                                                    | Qt::WindowTitleHint
                                                    | Qt::WindowCloseButtonHint);
    QDialog* form = w.form.get();
    form->setWindowTitle(QStringLiteral("请选择文件"));
    support::SetClientSizeTwips(form, 5910, 3825);

    w.lstDir = new DirList(pathRules, form);
    w.lstDir->setObjectName(QStringLiteral("lstDir"));
    PlaceTwips(w.lstDir, 2910, 570, 2895, 2640);

    w.lstDriver = new DriveList(driveProvider_ ? driveProvider_() : SystemDrives(), pathRules, form);
    w.lstDriver->setObjectName(QStringLiteral("lstDriver"));
    PlaceTwips(w.lstDriver, 2910, 150, 2925, 345);

    w.lstFile = new FileList(form);
    w.lstFile->setObjectName(QStringLiteral("lstFile"));
    PlaceTwips(w.lstFile, 120, 570, 2685, 2625);

    w.txtFile = new QLineEdit(form);
    w.txtFile->setObjectName(QStringLiteral("txtFile"));
    PlaceTwips(w.txtFile, 120, 150, 2685, 345);

    w.cmdOK = new QPushButton(QStringLiteral("确定(&O)"), form);
    w.cmdOK->setObjectName(QStringLiteral("cmdOK"));
    w.cmdOK->setDefault(true);
    PlaceTwips(w.cmdOK, 3660, 3360, 1005, 345);

    w.cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), form);
    w.cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(w.cmdCancel, 4800, 3360, 1005, 345);

    w.txtFilter = new QLineEdit(AllFiles, form);
    w.txtFilter->setObjectName(QStringLiteral("txtFilter"));
    PlaceTwips(w.txtFilter, 1080, 3300, 1695, 375);

    w.lblCaption = new QLabel(QStringLiteral("文件过滤："), form);
    w.lblCaption->setObjectName(QStringLiteral("lblCaption"));
    PlaceTwips(w.lblCaption, 120, 3390, 975, 195);

    QWidget::setTabOrder(w.lstDir, w.lstDriver);
    QWidget::setTabOrder(w.lstDriver, w.lstFile);
    QWidget::setTabOrder(w.lstFile, w.txtFile);
    QWidget::setTabOrder(w.txtFile, w.cmdOK);
    QWidget::setTabOrder(w.cmdOK, w.cmdCancel);
    QWidget::setTabOrder(w.cmdCancel, w.txtFilter);
    w.lstDir->setFocus();
}

// Setting a control from code raises its handler at once, before the setting
// returns: the loading and the handlers below rely on it.
void FrmSelFile::connectHandlers()
{
    const Window& w = *window_;
    QObject* h = w.handlers.get();
    connect(w.lstDriver, &DriveList::changed, h, [this] { lstDriver_Change(); });
    connect(w.lstDir, &DirList::changed, h, [this] { lstDir_Change(); });
    connect(w.lstDir, &DirList::openFailed, h,
            [this](const QString& description) { lstDir_OpenFailed(description); });
    connect(w.lstFile, &FileList::entryClicked, h, [this] { lstFile_Click(); });
    connect(w.lstFile, &FileList::entryDoubleClicked, h, [this] { lstFile_DblClick(); });
    connect(w.txtFile, &QLineEdit::textChanged, h, [this] { txtFile_Change(); });
    connect(w.txtFilter, &QLineEdit::textChanged, h, [this] { txtFilter_Change(); });
    connect(w.cmdOK, &QPushButton::clicked, h, [this] { cmdOK_Click(); });
    connect(w.cmdCancel, &QPushButton::clicked, h, [this] { cmdCancel_Click(); });
}

// The name box is filled before the lists move, so the directory change
// already finds the preset file in the new directory.
void FrmSelFile::Form_Load()
{
    Window& w = *window_;
    PlaceForm(false);
    selected_ = false;

    if (!fileName_.isEmpty()) {
        const PresetParts preset = rules().splitPreset(fileName_);
        w.txtFile->setText(preset.name);
        if (!preset.drive.isEmpty())
            skipOnFailure([&] { w.lstDriver->setDrive(preset.drive); });
        if (!preset.directory.isEmpty())
            skipOnFailure([&] { w.lstDir->setPath(preset.directory); });
    }
    lstDriver_Change();
    w.txtFilter->setText(Filter());
    // The filter of every kind read is longer than its box: show where it starts.
    w.txtFilter->setCursorPosition(0);
    ApplyFilter();
}

void FrmSelFile::Form_Unload()
{
    PlaceForm(true);
}

// The first drive change in the life of the dialog only records the drive.
// A drive that cannot be read is reported and the drive list goes back to
// the last good drive; that raises this handler again, which then finds
// nothing to do, so the directory and file lists never move.
void FrmSelFile::lstDriver_Change()
{
    Window& w = *window_;
    try {
        if (lastGoodDrive_.isEmpty())
            lastGoodDrive_ = w.lstDriver->drive();
        if (w.lstDriver->drive() != lastGoodDrive_) {
            w.lstDir->setDrive(w.lstDriver->currentDrive());
            lastGoodDrive_ = w.lstDriver->drive();
        }
    } catch (const BrowseError& error) {
        MsgBox(error.description(), MsgIcon::NoIcon);
        if (!lastGoodDrive_.isEmpty())
            skipOnFailure([&] { w.lstDriver->setDrive(lastGoodDrive_); });
    }
}

void FrmSelFile::lstDir_Change()
{
    window_->lstFile->setDirectory(window_->lstDir->path());
    SyncFileList();
}

void FrmSelFile::lstDir_OpenFailed(const QString& description)
{
    MsgBox(description, MsgIcon::NoIcon);
}

void FrmSelFile::lstFile_Click()
{
    Window& w = *window_;
    if (w.lstFile->busyMark() == QLatin1String("1"))
        return;
    const int index = w.lstFile->selectedIndex();
    w.txtFile->setText(index < 0 ? QString() : w.lstFile->entry(index));
}

void FrmSelFile::lstFile_DblClick()
{
    cmdOK_Click();
}

// The busy mark keeps the selection that the name box makes from being
// copied back into the name box.
void FrmSelFile::txtFile_Change()
{
    FileList* lstFile = window_->lstFile;
    lstFile->setBusyMark(QStringLiteral("1"));
    SyncFileList();
    lstFile->setBusyMark(QString());
}

void FrmSelFile::txtFilter_Change()
{
    setFilter(window_->txtFilter->text().trimmed());
    ApplyFilter();
}

void FrmSelFile::cmdOK_Click()
{
    Window& w = *window_;
    const QString name = w.txtFile->text().trimmed();
    if (name.isEmpty()) {
        MsgBox(QStringLiteral("请选择文件！"), MsgIcon::Information);
        return;
    }
    const PathRules pathRules = rules();
    const QString directory = w.lstDir->path();
    // A path typed or pasted is taken as it stands, a name in the directory
    // shown; a folder is opened rather than chosen.
    const QString typed = pathRules.isAbsolute(name) ? name : pathRules.withSeparator(directory) + name;
    const QFileInfo target(typed);
    if (target.isDir()) {
        openTypedFolder(typed);
        return;
    }
    // The caller opens the file it gets; a name that names no file here
    // would only fail there, far from where it can be corrected.
    if (!target.isFile()) {
        MsgBox(QStringLiteral("请正确输入文件名！"), MsgIcon::Information);
        return;
    }
    const PresetParts chosen = pathRules.splitPreset(QDir::toNativeSeparators(QDir::cleanPath(target.absoluteFilePath())));
    fileName_ = pathRules.acceptedFileName(chosen.directory, chosen.name);
    selected_ = true;
    w.form->accept();
}

// The drive list follows first, as when a preset opens the dialog, since a
// drive change moves the directory list to that drive's own directory. The
// name box is emptied, so that the next Enter chooses a file in the folder.
void FrmSelFile::openTypedFolder(const QString& folder)
{
    Window& w = *window_;
    skipOnFailure([&] { w.lstDriver->setDrive(folder); });
    try {
        w.lstDir->setPath(folder);
    } catch (const BrowseError& error) {
        MsgBox(error.description(), MsgIcon::NoIcon);
        return;
    }
    w.txtFile->clear();
}

void FrmSelFile::cmdCancel_Click()
{
    window_->form->reject();
}

// An empty key never equals an entry, so clearing the name box keeps the
// selection.
void FrmSelFile::SyncFileList()
{
    FileList* lstFile = window_->lstFile;
    const QString key = window_->txtFile->text().trimmed().toUpper();
    for (int i = 0; i < lstFile->count(); ++i) {
        if (lstFile->entry(i).toUpper() == key) {
            lstFile->setSelectedIndex(i);
            return;
        }
    }
}

void FrmSelFile::ApplyFilter()
{
    skipOnFailure([&] { window_->lstFile->setPattern(Filter()); });
}

// The first showing of the run is centred on the screen; every later one
// opens where the previous one was when it closed.
void FrmSelFile::PlaceForm(bool recording)
{
    QDialog* form = window_->form.get();
    if (recording) {
        left_ = static_cast<float>(support::PixelsToTwips(form->x()));
        top_ = static_cast<float>(support::PixelsToTwips(form->y()));
        return;
    }
    if (!placed_) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect desktop = screen ? screen->geometry() : QRect();
        const QRect outer = form->frameGeometry();
        left_ = (static_cast<float>(support::PixelsToTwips(desktop.width()))
                 - static_cast<float>(support::PixelsToTwips(outer.width())))
            / 2.0f;
        top_ = (static_cast<float>(support::PixelsToTwips(desktop.height()))
                - static_cast<float>(support::PixelsToTwips(outer.height())))
            / 2.0f;
        placed_ = true;
    }
    form->move(support::TwipsToPixels(left_), support::TwipsToPixels(top_));
}

FrmSelFile& frmSelFile()
{
    static FrmSelFile instance;
    return instance;
}

} // namespace filedialog
