#include "TestMain.h"
#include "filedialog/DirList.h"
#include "filedialog/DriveList.h"
#include "filedialog/FileList.h"
#include "filedialog/FrmSelFile.h"
#include "support/AppInfo.h"
#include "support/MessageBox.h"
#include "support/Twips.h"
#include "TestPlatform.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <functional>
#include <memory>
#include <system_error>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace filedialog;
using support::MessageBoxRecorder;
using support::MsgIcon;

namespace {

// The controls of the open window, as a test finds them.
struct Window {
    QDialog* form = nullptr;
    DriveList* lstDriver = nullptr;
    DirList* lstDir = nullptr;
    FileList* lstFile = nullptr;
    QLineEdit* txtFile = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLineEdit* txtFilter = nullptr;
    QLabel* lblCaption = nullptr;

    QStringList entries() const
    {
        QStringList names;
        for (int i = 0; i < lstFile->count(); ++i)
            names.append(lstFile->entry(i));
        return names;
    }
    QString selectedEntry() const
    {
        const int index = lstFile->selectedIndex();
        return index < 0 ? QString() : lstFile->entry(index);
    }
    void clickEntry(const QString& name) const
    {
        const QList<QListWidgetItem*> found = lstFile->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        QTest::mouseClick(lstFile->viewport(), Qt::LeftButton, {},
                          lstFile->visualItemRect(found.first()).center());
    }
    void doubleClickEntry(const QString& name) const
    {
        const QList<QListWidgetItem*> found = lstFile->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        const QPoint at = lstFile->visualItemRect(found.first()).center();
        QTest::mouseClick(lstFile->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(lstFile->viewport(), Qt::LeftButton, {}, at);
    }
    QTreeWidgetItem* directoryItem(const QString& name) const
    {
        const QList<QTreeWidgetItem*> found =
            lstDir->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.size() == 1 ? found.first() : nullptr;
    }
    void doubleClickDirectory(const QString& name) const
    {
        QTreeWidgetItem* item = directoryItem(name);
        QVERIFY2(item, qPrintable(name));
        const QPoint at = lstDir->visualItemRect(item).center();
        QTest::mouseClick(lstDir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(lstDir->viewport(), Qt::LeftButton, {}, at);
    }
    void type(QLineEdit* box, const QString& text) const
    {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    // The whole text at once, as a paste gives it.
    void paste(QLineEdit* box, const QString& text) const
    {
        box->selectAll();
        box->insert(text);
    }
};

Window openWindow()
{
    Window w;
    w.form = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!w.form)
        return w;
    w.lstDriver = w.form->findChild<DriveList*>("lstDriver");
    w.lstDir = w.form->findChild<DirList*>("lstDir");
    w.lstFile = w.form->findChild<FileList*>("lstFile");
    w.txtFile = w.form->findChild<QLineEdit*>("txtFile");
    w.cmdOK = w.form->findChild<QPushButton*>("cmdOK");
    w.cmdCancel = w.form->findChild<QPushButton*>("cmdCancel");
    w.txtFilter = w.form->findChild<QLineEdit*>("txtFilter");
    w.lblCaption = w.form->findChild<QLabel*>("lblCaption");
    return w;
}

// What the system says of a directory that is not there: on Windows the
// system's message for a path not found, in its language.
QString missingDirectoryText()
{
#ifdef Q_OS_WIN
    return qt_error_string(ERROR_PATH_NOT_FOUND).trimmed();
#else
    return QString::fromLocal8Bit(std::error_code(ENOENT, std::system_category()).message());
#endif
}

} // namespace

// For the tests that hand the dialog folders of the test tree as drives: on
// Windows a drive is a letter, and the dialog takes every folder of C: for
// part of drive C:. Making letters of folders would change the machine.
#ifdef Q_OS_WIN
#define SKIP_WHERE_DRIVES_ARE_LETTERS() QSKIP("the test's drives are folders; on Windows drives are letters")
#else
#define SKIP_WHERE_DRIVES_ARE_LETTERS()
#endif

class TestFileDialog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tree_;
    QString previousDirectory_;
    std::unique_ptr<MessageBoxRecorder> boxes_;

    // Paths as the dialog shows them: with the system's separators.
    QString at(const QString& relative) const { return QDir::toNativeSeparators(tree_->filePath(relative)); }
    // The drive of the test tree, which holds the current directory too.
    QString root() const { return testplatform::RootOf(tree_->path()); }
    QString rootDrive() const { return Drive{root(), {}, {}}.text(); }

    void makeFile(const QString& relative) const
    {
        QFile file(at(relative));
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    // The root drive holds the test tree; "usb" is a second drive, "gone" one
    // that cannot be read.
    std::unique_ptr<FrmSelFile> newForm() const
    {
        auto form = std::make_unique<FrmSelFile>();
        form->setApplicationDirectory(at("app"));
        const QList<Drive> drives{{root(), {}, {}}, {at("usb"), "USB", {}}, {at("gone"), "GONE", {}}};
        form->setDriveProvider([drives] { return drives; });
        return form;
    }

    // Shows the dialog and runs action on its window once it is open; a
    // window the action leaves open is cancelled.
    void showing(FrmSelFile& form, const std::function<void(const Window&)>& action,
                 const std::optional<QString>& preset = std::nullopt,
                 const std::optional<QString>& filter = std::nullopt)
    {
        bool opened = false;
        QTimer::singleShot(0, this, [&] {
            const Window w = openWindow();
            opened = w.form && w.lstDriver && w.lstDir && w.lstFile && w.txtFile && w.cmdOK
                && w.cmdCancel && w.txtFilter && w.lblCaption;
            if (opened)
                action(w);
            if (w.form && w.form->isVisible())
                w.form->reject();
        });
        form.SelectFile(preset, filter);
        QVERIFY2(opened, "the window did not open with its eight controls");
    }

private slots:
    // The offscreen platform cannot raise windows and says so at every showing.
    void initTestCase()
    {
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (!message.contains(QLatin1String("does not support raise()")))
                    previous(type, context, message);
            });
    }

    void init()
    {
        tree_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tree_->isValid());
        for (const char* file : {"work/book.xls", "work/Other.XLS", "work/notes.txt", "work/readme",
                                 "work/sub/inner.xls", "work/sub/deeper/x.txt", "app/app.xls",
                                 "app/sub/inner2.xls", "usb/data.xls"})
            makeFile(QString::fromLatin1(file));
        previousDirectory_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(at("work")));
        boxes_ = std::make_unique<MessageBoxRecorder>();
    }

    void cleanup()
    {
        boxes_.reset();
        QDir::setCurrent(previousDirectory_);
        tree_.reset();
    }

    void freshObject()
    {
        const auto form = newForm();
        const QString prefix = at("app") + QDir::separator();
        QCOMPARE(form->Selected(), false);
        QCOMPARE(form->FileName(), QString());
        QCOMPARE(form->Filter(), "*.*");
        QCOMPARE(form->FullPath(), prefix);
        QCOMPARE(form->FilePath(), prefix);
        QCOMPARE(form->ShortName(), QString());
        form->setFilter("");
        QCOMPARE(form->Filter(), "*.*");
        form->setFilter("*.xls");
        QCOMPARE(form->Filter(), "*.xls");
        form->setFileName(" sub/book.xls");
        QCOMPARE(form->FileName(), " sub/book.xls");
        QCOMPARE(form->FullPath(), prefix + " sub/book.xls");
    }

    void windowLayout()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            QCOMPARE(w.form->windowTitle(), "请选择文件");
            const Qt::WindowFlags flags = w.form->windowFlags();
            QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
            QVERIFY(flags & Qt::WindowCloseButtonHint);
            QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
            QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
            QCOMPARE(w.form->minimumSize(), w.form->maximumSize());
            QCOMPARE(w.form->size(),
                     QSize(support::TwipsToPixels(5910), support::TwipsToPixels(3825)));

            QCOMPARE(w.lstDir->geometry(), support::TwipsRect(2910, 570, 2895, 2640));
            QCOMPARE(w.lstDriver->geometry(), support::TwipsRect(2910, 150, 2925, 345));
            QCOMPARE(w.lstFile->geometry(), support::TwipsRect(120, 570, 2685, 2625));
            QCOMPARE(w.txtFile->geometry(), support::TwipsRect(120, 150, 2685, 345));
            QCOMPARE(w.cmdOK->geometry(), support::TwipsRect(3660, 3360, 1005, 345));
            QCOMPARE(w.cmdCancel->geometry(), support::TwipsRect(4800, 3360, 1005, 345));
            QCOMPARE(w.txtFilter->geometry(), support::TwipsRect(1080, 3300, 1695, 375));
            QCOMPARE(w.lblCaption->geometry(), support::TwipsRect(120, 3390, 975, 195));

            QCOMPARE(w.cmdOK->text(), "确定(&O)");
            QCOMPARE(w.cmdCancel->text(), "取消(&C)");
            QCOMPARE(w.lblCaption->text(), "文件过滤：");
            QCOMPARE(w.txtFilter->text(), "*.*");
            QCOMPARE(w.txtFile->text(), QString());
            QVERIFY(w.cmdOK->isDefault());
            QCOMPARE(w.form->focusWidget(), w.lstDir);

            const QList<QWidget*> order{w.lstDir, w.lstDriver, w.lstFile, w.txtFile,
                                        w.cmdOK, w.cmdCancel, w.txtFilter};
            for (qsizetype i = 0; i + 1 < order.size(); ++i) {
                QWidget* next = order[i]->nextInFocusChain();
                while (next->focusPolicy() == Qt::NoFocus || order[i]->isAncestorOf(next))
                    next = next->nextInFocusChain();
                QCOMPARE(next, order[i + 1]);
            }
        });
    }

    void opensAtProcessCurrentDirectory()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        const auto form = newForm();
        showing(*form, [this](const Window& w) {
            QCOMPARE(w.lstDriver->drive(), rootDrive());
            QCOMPARE(w.lstDir->path(), at("work"));
            QCOMPARE(w.entries(), QStringList({"book.xls", "notes.txt", "Other.XLS", "readme"}));
            QCOMPARE(w.lstFile->selectedIndex(), -1);
            QVERIFY(w.directoryItem("sub"));
            QVERIFY(!w.directoryItem("deeper"));
            QCOMPARE(w.lstDir->currentItem()->text(0), "work");
            QCOMPARE(w.lstDriver->count(), 3);
        });
        QVERIFY(boxes_->records().isEmpty());
    }

    void presets_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("selected");

        QTest::newRow("full path") << "%1/work/sub/inner.xls" << "inner.xls" << "/" << "%1/work/sub"
                                   << "inner.xls";
        QTest::newRow("name in other letter case comes back as listed")
            << "%1/work/sub/INNER.xls" << "inner.xls" << "/" << "%1/work/sub" << "inner.xls";
        QTest::newRow("bare name stays in the current directory")
            << "book.xls" << "book.xls" << "/" << "%1/work" << "book.xls";
        QTest::newRow("relative to the application directory")
            << "sub/inner2.xls" << "inner2.xls" << "/" << "%1/app/sub" << "inner2.xls";
        QTest::newRow("other drive") << "%1/usb/data.xls" << "data.xls" << "%1/usb [USB]" << "%1/usb"
                                     << "data.xls";
        QTest::newRow("directory that does not exist")
            << "%1/work/missing/book.xls" << "book.xls" << "/" << "%1/work" << "book.xls";
        // The first drive change of the dialog's life only records the drive.
        QTest::newRow("missing directory on other drive")
            << "%1/usb/missing/book.xls" << "book.xls" << "%1/usb [USB]" << "%1/work" << "book.xls";
        QTest::newRow("directory only") << "%1/work/sub/" << "" << "/" << "%1/work/sub" << "";
    }
    void presets()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        QFETCH(QString, preset);
        QFETCH(QString, name);
        QFETCH(QString, drive);
        QFETCH(QString, directory);
        QFETCH(QString, selected);
        // "/" is the root drive, "%1" the test tree.
        const auto inTree = [this](QString text) {
            return text == u"/" ? rootDrive() : QDir::toNativeSeparators(text.replace("%1", tree_->path()));
        };
        const auto form = newForm();
        form->setFileName(inTree(preset));
        showing(*form, [&](const Window& w) {
            QCOMPARE(w.txtFile->text(), name);
            QCOMPARE(w.lstDriver->drive(), inTree(drive));
            QCOMPARE(w.lstDir->path(), inTree(directory));
            QCOMPARE(w.lstFile->directory(), inTree(directory));
            QCOMPARE(w.selectedEntry(), selected);
        });
        QCOMPARE(boxes_->texts(), QStringList());
        QCOMPARE(form->FileName(), inTree(preset));
        QVERIFY(!form->Selected());
    }

    // The preset's drive change reports its own failure even while loading,
    // once an earlier showing has recorded a good drive.
    void presetOnUnreadableDrive()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        const auto form = newForm();
        showing(*form, [](const Window&) {});
        showing(
            *form,
            [this](const Window& w) {
                QCOMPARE(w.lstDriver->drive(), rootDrive());
                QCOMPARE(w.lstDir->path(), at("work"));
                QCOMPARE(w.txtFile->text(), "x.xls");
            },
            at("gone/x.xls"));
        QCOMPARE(boxes_->texts(), QStringList{missingDirectoryText()});
    }

    void nameBoxSelectsInList()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            w.type(w.txtFile, "BOOK.XLS");
            QCOMPARE(w.selectedEntry(), "book.xls");
            QCOMPARE(w.txtFile->text(), "BOOK.XLS");

            w.type(w.txtFile, "nothing.xls");
            QCOMPARE(w.selectedEntry(), "book.xls");
            w.type(w.txtFile, "");
            QCOMPARE(w.selectedEntry(), "book.xls");

            w.type(w.txtFile, "  notes.txt  ");
            QCOMPARE(w.selectedEntry(), "notes.txt");
            QCOMPARE(w.txtFile->text(), "  notes.txt  ");
        });
    }

    void listClickFillsNameBox()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            w.clickEntry("Other.XLS");
            QCOMPARE(w.txtFile->text(), "Other.XLS");
            QCOMPARE(w.selectedEntry(), "Other.XLS");

            // A click on the entry already selected takes it again.
            w.type(w.txtFile, "typed.xls");
            w.clickEntry("Other.XLS");
            QCOMPARE(w.txtFile->text(), "Other.XLS");

            QTest::keyClick(w.lstFile, Qt::Key_Up);
            QCOMPARE(w.txtFile->text(), "notes.txt");
        });
    }

    void busyMarkOnlyWhileNameBoxDrives()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            QStringList marks;
            QObject scope;
            QObject::connect(w.lstFile, &FileList::entryClicked, &scope,
                             [&] { marks.append(w.lstFile->busyMark()); });
            w.type(w.txtFile, "book.xls");
            QCOMPARE(marks, QStringList{"1"});
            QCOMPARE(w.lstFile->busyMark(), QString());

            // The click fills the name box, whose change selects the same
            // entry under the mark before the click itself is done.
            marks.clear();
            w.clickEntry("notes.txt");
            QCOMPARE(marks, QStringList({"1", ""}));
            QCOMPARE(w.lstFile->busyMark(), QString());
            QCOMPARE(w.txtFile->text(), "notes.txt");
        });
    }

    void directoryChangeMovesFileList()
    {
        const auto form = newForm();
        showing(*form, [this](const Window& w) {
            w.type(w.txtFile, "INNER.XLS");
            QCOMPARE(w.lstFile->selectedIndex(), -1);

            // A single click only highlights.
            QTest::mouseClick(w.lstDir->viewport(), Qt::LeftButton, {},
                              w.lstDir->visualItemRect(w.directoryItem("sub")).center());
            QCOMPARE(w.lstDir->path(), at("work"));

            w.doubleClickDirectory("sub");
            QCOMPARE(w.lstDir->path(), at("work/sub"));
            QCOMPARE(w.entries(), QStringList{"inner.xls"});
            QCOMPARE(w.selectedEntry(), "inner.xls");
            QCOMPARE(w.txtFile->text(), "inner.xls");
            QVERIFY(w.directoryItem("deeper"));

            w.doubleClickDirectory("work");
            QCOMPARE(w.lstDir->path(), at("work"));
            QCOMPARE(w.entries().size(), 4);
            QCOMPARE(w.selectedEntry(), QString());
            QCOMPARE(w.txtFile->text(), "inner.xls");
        });
        QVERIFY(boxes_->records().isEmpty());
    }

    void directoryThatCannotBeOpened()
    {
        const auto form = newForm();
        showing(*form, [this](const Window& w) {
            QVERIFY(QDir(at("work/sub")).removeRecursively());
            w.doubleClickDirectory("sub");
            QCOMPARE(w.lstDir->path(), at("work"));
        });
        QCOMPARE(boxes_->texts(), QStringList{missingDirectoryText()});
    }

    void filters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("entries");
        const QStringList all{"book.xls", "notes.txt", "Other.XLS", "readme"};
        QTest::newRow("empty lists all") << "" << "*.*" << all;
        QTest::newRow("one pattern any case") << "*.xls" << "*.xls" << QStringList{"book.xls", "Other.XLS"};
        QTest::newRow("two patterns") << "*.xls;*.txt" << "*.xls;*.txt"
                                      << QStringList{"book.xls", "notes.txt", "Other.XLS"};
        QTest::newRow("trimmed") << "  *.txt  " << "*.txt" << QStringList{"notes.txt"};
        QTest::newRow("no match") << "*.doc" << "*.doc" << QStringList{};
        QTest::newRow("refused keeps the list") << "sub/*.xls" << "sub/*.xls" << QStringList{"notes.txt"};
    }
    void filters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, filter);
        QFETCH(QStringList, entries);
        const auto form = newForm();
        showing(
            *form,
            [&](const Window& w) {
                QCOMPARE(w.entries(), QStringList{"notes.txt"});
                w.type(w.txtFile, "notes.txt");
                w.paste(w.txtFilter, typed);
                QCOMPARE(w.txtFilter->text(), typed);
                QCOMPARE(form->Filter(), filter);
                QCOMPARE(w.entries(), entries);
            },
            std::nullopt, QString("*.txt"));
        QCOMPARE(form->Filter(), filter);

        showing(*form, [&](const Window& w) {
            QCOMPARE(w.txtFilter->text(), filter);
            if (filter != "sub/*.xls")
                QCOMPARE(w.entries(), entries);
        });
    }

    void okJoinsDirectoryAndName()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            w.type(w.txtFile, "  book.xls ");
            QTest::mouseClick(w.cmdOK, Qt::LeftButton);
            QVERIFY(!w.form->isVisible());
        });
        QVERIFY(form->Selected());
        QCOMPARE(form->FileName(), at("work/book.xls"));
        QCOMPARE(form->FullPath(), at("work/book.xls"));
        QCOMPARE(form->ShortName(), "book.xls");
        QCOMPARE(form->FilePath(), at("work") + QDir::separator());
        QVERIFY(boxes_->records().isEmpty());
    }

    void okInApplicationDirectoryStoresBareName()
    {
        QVERIFY(QDir::setCurrent(at("app")));
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            w.type(w.txtFile, "app.xls");
            QTest::keyClick(w.txtFile, Qt::Key_Return);
        });
        QVERIFY(form->Selected());
        QCOMPARE(form->FileName(), "app.xls");
        QCOMPARE(form->FullPath(), at("app/app.xls"));
    }

    void okAtTheRootKeepsOneSeparator()
    {
        const QStringList rootFiles = QDir(root()).entryList(QDir::Files | QDir::Hidden);
        if (rootFiles.isEmpty())
            QSKIP("no file directly under the root to choose");
        const auto form = newForm();
        showing(*form, [&](const Window& w) {
            w.lstDir->setPath(root());
            QCOMPARE(w.lstDir->path(), root());
            QCOMPARE(w.lstFile->directory(), root());
            w.type(w.txtFile, rootFiles.first());
            QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        });
        QVERIFY(form->Selected());
        QCOMPARE(form->FileName(), root() + rootFiles.first());
    }

    void doubleClickOnFileIsOk()
    {
        const auto form = newForm();
        showing(*form, [](const Window& w) { w.doubleClickEntry("Other.XLS"); });
        QVERIFY(form->Selected());
        QCOMPARE(form->FileName(), at("work/Other.XLS"));
    }

    void okRefusals_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank") << "   " << "请选择文件！";
        QTest::newRow("no such file") << "nosuch.xls" << "请正确输入文件名！";
        QTest::newRow("wildcards") << "*.xls" << "请正确输入文件名！";
    }
    // A path typed or pasted into the name box is taken as it stands; a name
    // holding a directory is taken in the directory shown.
    void typedPaths_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("full path") << "%1/work/sub/inner.xls" << "%1/work/sub/inner.xls";
        QTest::newRow("full path pasted with spaces") << " %1/work/sub/inner.xls " << "%1/work/sub/inner.xls";
        QTest::newRow("full path on another drive") << "%1/usb/data.xls" << "%1/usb/data.xls";
        QTest::newRow("full path with a step up") << "%1/work/sub/../book.xls" << "%1/work/book.xls";
        QTest::newRow("full path into the application directory") << "%1/app/app.xls" << "app.xls";
        QTest::newRow("name with a directory") << "sub/inner.xls" << "%1/work/sub/inner.xls";
        QTest::newRow("missing file") << "%1/work/nosuch.xls" << "";
    }
    void typedPaths()
    {
        QFETCH(QString, typed);
        QFETCH(QString, fileName);
        const QString root = tree_->path();
        const auto form = newForm();
        form->setFileName("earlier.xls");
        showing(*form, [&](const Window& w) {
            w.paste(w.txtFile, typed.arg(root));
            QTest::keyClick(w.txtFile, Qt::Key_Return);
        });
        QCOMPARE(form->Selected(), !fileName.isEmpty());
        QCOMPARE(form->FileName(),
                 fileName.isEmpty() ? QStringLiteral("earlier.xls") : QDir::toNativeSeparators(fileName.arg(root)));
        QCOMPARE(boxes_->texts(), fileName.isEmpty() ? QStringList{"请正确输入文件名！"} : QStringList{});
    }

    // A folder typed into the name box is opened, and the name box emptied
    // for the file to choose there.
    void typedFolders_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("subdirectory by name") << "sub" << "/" << "%1/work/sub" << QStringList{"inner.xls"};
        QTest::newRow("full path") << "%1/app/sub/" << "/" << "%1/app/sub" << QStringList{"inner2.xls"};
        QTest::newRow("full path on another drive") << "%1/usb" << "%1/usb [USB]" << "%1/usb" << QStringList{"data.xls"};
    }
    void typedFolders()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        QFETCH(QString, typed);
        QFETCH(QString, drive);
        QFETCH(QString, directory);
        QFETCH(QStringList, entries);
        const QString root = tree_->path();
        const auto form = newForm();
        showing(*form, [&](const Window& w) {
            w.paste(w.txtFile, typed.arg(root));
            QTest::keyClick(w.txtFile, Qt::Key_Return);
            QVERIFY(w.form->isVisible());
            QCOMPARE(w.lstDriver->drive(), drive.arg(root));
            QCOMPARE(w.lstDir->path(), directory.arg(root));
            QCOMPARE(w.entries(), entries);
            QCOMPARE(w.txtFile->text(), QString());
            w.type(w.txtFile, entries.first());
            QTest::keyClick(w.txtFile, Qt::Key_Return);
        });
        QVERIFY(boxes_->records().isEmpty());
        QVERIFY(form->Selected());
        QCOMPARE(form->FullPath(), directory.arg(root) + "/" + entries.first());
    }

    // Enter on a highlighted folder opens it; on the open folder itself it
    // is the dialog's OK.
    void enterOnDirectoryList()
    {
        const auto form = newForm();
        showing(*form, [this](const Window& w) {
            w.lstDir->setFocus();
            w.lstDir->setCurrentItem(w.directoryItem("sub"));
            QTest::keyClick(w.lstDir, Qt::Key_Return);
            QCOMPARE(w.lstDir->path(), at("work/sub"));
            QVERIFY(w.form->isVisible());
            w.type(w.txtFile, "inner.xls");
            w.lstDir->setFocus();
            QTest::keyClick(w.lstDir, Qt::Key_Return);
        });
        QVERIFY(form->Selected());
        QCOMPARE(form->FullPath(), at("work/sub/inner.xls"));
    }

    void enterOnFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("selected");
        QTest::newRow("确定") << "cmdOK" << true;
        QTest::newRow("取消") << "cmdCancel" << false;
    }
    void enterOnFocusedButton()
    {
        QFETCH(QString, button);
        QFETCH(bool, selected);
        const auto form = newForm();
        showing(*form, [&](const Window& w) {
            w.type(w.txtFile, "book.xls");
            auto* focused = w.form->findChild<QPushButton*>(button);
            focused->setFocus();
            QTest::keyClick(focused, Qt::Key_Return);
            QVERIFY(!w.form->isVisible());
        });
        QCOMPARE(form->Selected(), selected);
    }

    void okRefusals()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const auto form = newForm();
        form->setFileName("earlier.xls");
        showing(*form, [&](const Window& w) {
            w.type(w.txtFile, typed);
            QTest::mouseClick(w.cmdOK, Qt::LeftButton);
            QVERIFY(w.form->isVisible());
            QCOMPARE(boxes_->records().size(), 1);
            QCOMPARE(boxes_->records().first().text, message);
            QCOMPARE(boxes_->records().first().icon, MsgIcon::Information);
            QCOMPARE(boxes_->records().first().title, support::AppTitle());
        });
        QVERIFY(!form->Selected());
        QCOMPARE(form->FileName(), "earlier.xls");
    }

    void closingWithoutOkKeepsEarlierChoice_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "cancel";
        QTest::newRow("escape key") << "escape";
        QTest::newRow("close box") << "close";
    }
    void closingWithoutOkKeepsEarlierChoice()
    {
        QFETCH(QString, how);
        const auto form = newForm();
        showing(*form, [](const Window& w) {
            w.type(w.txtFile, "book.xls");
            QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        }, std::nullopt, QString("*.xls"));
        QVERIFY(form->Selected());

        showing(*form, [&](const Window& w) {
            // Without arguments the window opens on the previous choice.
            QCOMPARE(w.txtFile->text(), "book.xls");
            QCOMPARE(w.lstDir->path(), at("work"));
            QCOMPARE(w.txtFilter->text(), "*.xls");
            w.type(w.txtFile, "Other.XLS");
            if (how == "cancel")
                QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
            else if (how == "escape")
                QTest::keyClick(w.lstFile, Qt::Key_Escape);
            else
                w.form->close();
            QVERIFY(!w.form->isVisible());
        });
        QVERIFY(!form->Selected());
        QCOMPARE(form->FileName(), at("work/book.xls"));
    }

    void unreadableDriveRestoresLastGoodDrive()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        const auto form = newForm();
        showing(*form, [this](const Window& w) {
            w.type(w.txtFile, "notes.txt");
            w.lstDriver->setCurrentIndex(2);
            QCOMPARE(boxes_->records().size(), 1);
            QCOMPARE(boxes_->records().first().text, missingDirectoryText());
            QCOMPARE(boxes_->records().first().icon, MsgIcon::NoIcon);
            QCOMPARE(boxes_->records().first().title, support::AppTitle());
            QCOMPARE(w.lstDriver->drive(), rootDrive());
            QCOMPARE(w.lstDir->path(), at("work"));
            QCOMPARE(w.lstFile->directory(), at("work"));
            QCOMPARE(w.txtFile->text(), "notes.txt");
            QCOMPARE(w.selectedEntry(), "notes.txt");

            w.lstDriver->setCurrentIndex(1);
            QCOMPARE(w.lstDir->path(), at("usb"));
            QCOMPARE(w.entries(), QStringList{"data.xls"});

            w.lstDriver->setCurrentIndex(2);
            QCOMPARE(boxes_->records().size(), 2);
            QCOMPARE(w.lstDriver->drive(), at("usb") + " [USB]");
            QCOMPARE(w.lstDir->path(), at("usb"));
        });
    }

    // The last good drive outlives the window: the next showing opens on the
    // current directory's drive, which differs, so the directory list follows.
    void lastGoodDriveSurvivesShowings()
    {
        SKIP_WHERE_DRIVES_ARE_LETTERS();
        const auto form = newForm();
        showing(*form, [](const Window& w) { w.lstDriver->setCurrentIndex(1); });
        showing(*form, [this](const Window& w) {
            QCOMPARE(w.lstDriver->drive(), rootDrive());
            QCOMPARE(w.lstDir->path(), at("work"));
        });
        QVERIFY(boxes_->records().isEmpty());
    }

    void placement()
    {
        const auto form = newForm();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QPoint centred;
        showing(*form, [&](const Window& w) {
            // The frame is unknown until the window is on the screen, so
            // the centre may be off by the frame's width.
            const QPoint offCentre = w.form->frameGeometry().center() - screen.center();
            QVERIFY2(qAbs(offCentre.x()) <= 3 && qAbs(offCentre.y()) <= 3,
                     qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
            centred = w.form->pos();
            QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
        });
        showing(*form, [&](const Window& w) {
            QCOMPARE(w.form->pos(), centred);
            w.form->move(37, 51);
            w.type(w.txtFile, "book.xls");
            QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        });
        showing(*form, [&](const Window& w) {
            QCOMPARE(w.form->pos(), QPoint(37, 51));
            w.form->move(140, 20);
            w.form->close();
        });
        showing(*form, [&](const Window& w) { QCOMPARE(w.form->pos(), QPoint(140, 20)); });
    }
};

VELTRIN_TEST_MAIN(TestFileDialog)
#include "tst_filedialog.moc"
