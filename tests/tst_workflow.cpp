// The main window end to end: choosing workbooks and worksheets, analysing
// them, and importing into the demo platform through the import window.
#include "TestMain.h"
#include "platform/modPub.h"
#include "controls/ProgressBar.h"
#include "demoserver/DemoServer.h"
#include "import/ContactListModel.h"
#include "import/ContactListView.h"
#include "import/FailuresFile.h"
#include "import/frmImport.h"
#include "import/frmMain.h"
#include "MainWindowControl.h"
#include "support/MessageBox.h"
#include "support/Twips.h"
#include "workbook/Workbook.h"

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QAbstractItemView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

using namespace modPub;
using demoserver::DemoServer;
using demoserver::FailMode;
using support::MessageBoxRecorder;

namespace {

const QString DataDir = testplatform::TestDataPath(QStringLiteral("contacts")) + u'/';
const QString AskForGroup = QStringLiteral("请选择联系人分组！如果需要创建新的分组，请登录到“Veltrin企业短信平台”创建！");

QDialog* openFileDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == QStringLiteral("请选择文件"))
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

// Chooses a workbook through the file dialog as a user would: its full path is
// typed and OK pressed, wherever the dialog opened.
void chooseWorkbook(const QString& fileName, const QString& folder = DataDir)
{
    QTimer::singleShot(0, [path = QDir(folder).filePath(fileName)] {
        QDialog* dialog = openFileDialog();
        QVERIFY(dialog);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(QDir::toNativeSeparators(path));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSelFile")), Qt::LeftButton);
}

// A path as the window shows it: whole, with the system's separators.
QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

void cancelFileDialog()
{
    QTimer::singleShot(0, [] {
        QDialog* dialog = openFileDialog();
        QVERIFY(dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSelFile")), Qt::LeftButton);
}

QStringList listEntries()
{
    return control<ContactListView>(QStringLiteral("lstCust"))->contacts()->entries();
}

QList<QRadioButton*> visibleSheetButtons()
{
    QList<QRadioButton*> buttons;
    for (int i = 0;; ++i) {
        auto* button = frmMain().window()->findChild<QRadioButton*>(QStringLiteral("optSheet%1").arg(i));
        if (!button)
            break;
        if (button->isVisibleTo(frmMain().window()))
            buttons.append(button);
    }
    return buttons;
}

QStringList captions(const QList<QRadioButton*>& buttons)
{
    QStringList texts;
    for (QRadioButton* b : buttons)
        texts.append(b->text());
    return texts;
}

// Runs the action on the GUI thread while the server holds the request that
// called it: the run waits for its reply meanwhile.
void whileRequestIsServed(const std::function<void()>& action)
{
    QMetaObject::invokeMethod(qApp, action, Qt::BlockingQueuedConnection);
}

template <typename T> T* importControl(const QString& name)
{
    QDialog* window = frmImport().window();
    return window ? window->findChild<T*>(name) : nullptr;
}

void clickImport()
{
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

QStringList contactRequests(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("/XML/XML_Linkman.asp")))
            result.append(line);
    return result;
}

} // namespace

class TestWorkflow : public QObject {
    Q_OBJECT

    DemoServer server;
    int demoGroupId = 0;
    QTemporaryDir config; // for the folder the window remembers
    QTemporaryDir state;

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        // The window keeps its import journals here, not in the user's folder.
        QVERIFY(state.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        QVERIFY(server.start(0));
        SetBaseURL(server.baseUrl(), nullptr);
        demoGroupId = demoserver::demoUsers().front().groups.at(0).id;
    }

    void init()
    {
        FailXMLObjectCreationForTesting(false);
        server.setUsers(demoserver::demoUsers());
        server.setFailurePlan({});
        server.clearRequestLines();
        // The login dialog's work: the session cookie comes from this login.
        gUserName = QStringLiteral("demo");
        gPassword = QStringLiteral("demo123");
        std::unique_ptr<net::XMLDocument> document;
        QVERIFY(CreateXMLObject(document));
        document->load(LoginURL(gUserName, gPassword));
        frmMain().Show();
        QTRY_VERIFY(frmMain().groupsLoaded());
        QVERIFY(control<QComboBox>(QStringLiteral("cmbGroup"))->count() > 1);
        server.clearRequestLines();
        // Each test imports as if for the first time.
        QDir(state.path()).removeRecursively();
    }

    void cleanup()
    {
        frmMain().Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        net::XMLDocument::resetSession();
    }

    void groupsOfTheDemoUserWithIndentation()
    {
        auto* combo = control<QComboBox>(QStringLiteral("cmbGroup"));
        QCOMPARE(combo->itemText(0), QStringLiteral("<--请选择联系人分组-->"));
        QCOMPARE(combo->currentIndex(), 0);
        const auto groups = demoserver::demoUsers().front().groups;
        QCOMPARE(combo->count(), static_cast<int>(groups.size()) + 1);
        for (size_t i = 0; i < groups.size(); ++i) {
            QCOMPARE(combo->itemText(static_cast<int>(i) + 1),
                     QString(groups[i].indent.size(), u' ') + groups[i].name);
            QCOMPARE(combo->itemData(static_cast<int>(i) + 1).toInt(), groups[i].id);
        }
    }

    void workbookListsSheetsAndAnalysesTheFirst()
    {
        MessageBoxRecorder boxes;
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtFileName"))->text(), shownPath(DataDir + QStringLiteral("three_sheets.xlsx")));
        QCOMPARE(control<QComboBox>(QStringLiteral("cmbGroup"))->currentIndex(), 0);
        const auto buttons = visibleSheetButtons();
        QCOMPARE(captions(buttons), (QStringList{"客户", "没有号码", "供应商"}));
        QCOMPARE(buttons[0]->x(), support::TwipsToPixels(60));
        QCOMPARE(buttons[1]->x(), support::TwipsToPixels(1050));
        QCOMPARE(buttons[2]->x(), support::TwipsToPixels(2100));
        QVERIFY(buttons[0]->isChecked());
        QVERIFY(boxes.records().isEmpty());
        const QStringList entries = listEntries();
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries[0], QStringLiteral("张三             13812345678"));
        QCOMPARE(entries[3], QStringLiteral("王五             Tel:"));
        QCOMPARE(control<ContactListView>(QStringLiteral("lstCust"))->contacts()->checked(), std::vector<bool>(4, true));
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
        QCOMPARE(gLinkmanTable.size(), size_t(4));

        // A workbook with one sheet removes the other buttons.
        chooseWorkbook(QStringLiteral("one_sheet.xlsx"));
        QCOMPARE(captions(visibleSheetButtons()), QStringList{"X"});
        QVERIFY(!frmMain().window()->findChild<QRadioButton*>(QStringLiteral("optSheet1")));
        QVERIFY(control<QRadioButton>(QStringLiteral("optSheet0"))->isChecked());
        QCOMPARE(listEntries().size(), 2);
    }

    // The file dialog offers contact files of every kind that is read, and
    // each gives the contacts that the same sheet gives as .xlsx.
    void everyKindOfContactFileOpensThroughTheDialog()
    {
        MessageBoxRecorder boxes;
        const QString formats = testplatform::TestDataPath(QStringLiteral("formats")) + u'/';
        // Chosen first, so that the dialog opens in its folder.
        chooseWorkbook(QStringLiteral("contacts.xlsx"), formats);
        const QStringList expected = listEntries();
        QCOMPARE(expected.size(), 8);

        QString filter;
        QStringList offered;
        QTimer::singleShot(0, [&] {
            QDialog* dialog = openFileDialog();
            QVERIFY(dialog);
            filter = dialog->findChild<QLineEdit*>(QStringLiteral("txtFilter"))->text();
            const auto* files = dialog->findChild<QListWidget*>(QStringLiteral("lstFile"));
            for (int i = 0; i < files->count(); ++i)
                offered << files->item(i)->text();
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
        });
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSelFile")), Qt::LeftButton);
        QCOMPARE(filter, workbook::FileDialogFilter());
        for (const char* name : {"utf8.csv", "unicode_text.txt", "web_page.html", "excel_2003.xml", "contacts.ods"})
            QVERIFY2(offered.contains(QString::fromLatin1(name), Qt::CaseInsensitive), name);
        QVERIFY(!offered.contains(QStringLiteral("make_fixtures.py")));

        for (const char* name : {"gbk.csv", "web_export.xls", "web_page.html", "web_system_2003.xls", "contacts.ods"}) {
            chooseWorkbook(QString::fromLatin1(name), formats);
            QCOMPARE(listEntries(), expected);
            QVERIFY2(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled(), name);
        }
        QCOMPARE(captions(visibleSheetButtons()), (QStringList{QStringLiteral("客户"), QStringLiteral("供应商")}));
        QVERIFY(boxes.records().isEmpty());
    }

    void sheetClicksAnalyseAndResetTheGroup()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xls"));
        const QStringList first = listEntries();
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);

        QTest::mouseClick(control<QRadioButton>(QStringLiteral("optSheet1")), Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("未知的数据格式！")});
        QCOMPARE(boxes.records().first().icon, support::MsgIcon::Critical);
        QCOMPARE(listEntries(), first);
        QVERIFY(!control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
        QCOMPARE(control<QComboBox>(QStringLiteral("cmbGroup"))->currentIndex(), 0);

        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(2);
        QTest::mouseClick(control<QRadioButton>(QStringLiteral("optSheet2")), Qt::LeftButton);
        QCOMPARE(listEntries().size(), 2);
        QVERIFY(listEntries().first().startsWith(QStringLiteral("供应商甲")));
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
        QCOMPARE(control<QComboBox>(QStringLiteral("cmbGroup"))->currentIndex(), 0);

        // Import right after a sheet click asks for the group first.
        boxes.clear();
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{AskForGroup});
        QCOMPARE(boxes.records().first().icon, support::MsgIcon::Information);
        QVERIFY(server.requestLines().isEmpty());
    }

    void everyOneOfTenSheetsCanBeReached()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("ten_sheets.xlsx"));
        QCOMPARE(visibleSheetButtons().size(), 10);
        auto* frame = control<QScrollArea>(QStringLiteral("fraSheet"));
        auto* tenth = control<QRadioButton>(QStringLiteral("optSheet9"));
        auto* right = control<QToolButton>(QStringLiteral("fraSheetRight"));
        QVERIFY(right->isVisible());
        // In view: wholly between the frame's left edge and the arrow buttons.
        auto* left = control<QToolButton>(QStringLiteral("fraSheetLeft"));
        const auto tenthInView = [&] {
            const int x = tenth->mapTo(frame, QPoint(0, 0)).x();
            return x >= frame->viewport()->x() && x + tenth->width() <= left->x();
        };
        QVERIFY(!tenthInView());
        for (int i = 0; i < 20 && !tenthInView(); ++i)
            QTest::mouseClick(right, Qt::LeftButton);
        QVERIFY(tenthInView());
        QTest::mouseClick(tenth, Qt::LeftButton);
        QVERIFY(tenth->isChecked());
        QCOMPARE(listEntries().size(), 1);
        QVERIFY(listEntries().first().startsWith(QStringLiteral("第10表")));
        QVERIFY(boxes.records().isEmpty());
    }

    void fileThatIsNoWorkbookShowsNoButton()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("not_a_workbook.xls"));
        QVERIFY(visibleSheetButtons().isEmpty());
        QCOMPARE(boxes.records().size(), 1);
        QVERIFY(boxes.texts().first().startsWith(QStringLiteral("数据分析失败！")));
        QVERIFY(boxes.texts().first().size() > QStringLiteral("数据分析失败！").size());
        QVERIFY(!control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
    }

    void cancellingTheDialogChangesNothing()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        QTest::mouseClick(control<QRadioButton>(QStringLiteral("optSheet2")), Qt::LeftButton);
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        const QStringList entries = listEntries();
        const contacts::LinkmanTable table = gLinkmanTable;
        cancelFileDialog();
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtFileName"))->text(), shownPath(DataDir + QStringLiteral("three_sheets.xlsx")));
        QCOMPARE(captions(visibleSheetButtons()), (QStringList{"客户", "没有号码", "供应商"}));
        QVERIFY(control<QRadioButton>(QStringLiteral("optSheet2"))->isChecked());
        QCOMPARE(listEntries(), entries);
        QVERIFY(gLinkmanTable == table);
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
        QCOMPARE(control<QComboBox>(QStringLiteral("cmbGroup"))->currentIndex(), 1);
    }

    void importSendsLoginThenEveryContactInOrder()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        clickImport();
        QVERIFY(!frmImport().Canceled);
        QCOMPARE(frmImport().Summary.total, 4);
        const QString group = QString::number(demoGroupId);
        QCOMPARE(server.requestLines(),
                 (QStringList{
                     "/Login.asp?UserName=demo&Password=demo123",
                     "/XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=" + group
                         + "&Linkman=%D5%C5%C8%FD&Mobile=13812345678&Tel=010%2D12345678&Remark=%C0%CF%BF%CD%BB%A7",
                     "/XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=" + group
                         + "&Linkman=%C0%EE%CB%C4&Mobile=15912345678&Tel=&Remark=%26GroupID%3D9",
                     "/XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=" + group
                         + "&Linkman=18612345678&Mobile=18612345678&Tel=%2B86%2010%201234&Remark=",
                     "/XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=" + group
                         + "&Linkman=%CD%F5%CE%E5&Mobile=&Tel=&Remark=%CE%DE%CA%D6%BB%FA",
                 }));
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(4));
        QCOMPARE(server.contacts(demoGroupId).at(2).tel, QStringLiteral("+86 10 1234"));
        QCOMPARE(server.contacts(demoGroupId).at(1).remark, QStringLiteral("&GroupID=9"));
        // The table and the list stay, and so does the import button.
        QCOMPARE(listEntries().size(), 4);
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
    }

    // The completion message's icon and first line say how the import ended;
    // the counts follow, and the contacts that did not get in can be saved.
    void completionMessage_data()
    {
        QTest::addColumn<int>("imports");
        QTest::addColumn<bool>("wrongPassword");
        QTest::addColumn<support::MsgIcon>("icon");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("buttons");
        const QStringList ok{"确定"};
        QTest::newRow("all accepted") << 1 << false << support::MsgIcon::Information
                                      << "客户资料导入完成！\n共4条，成功4条，失败0条。" << ok;
        // The second import of the same contacts: three mobile numbers are in the group.
        QTest::newRow("some refused")
            << 2 << false << support::MsgIcon::Warning
            << "客户资料导入完成，但有3条联系人没有导入！\n共4条，成功1条，失败3条。\n"
               "第1条 张三 13812345678：手机号码已存在\n第2条 李四 15912345678：手机号码已存在\n"
               "第3条 18612345678 18612345678：手机号码已存在"
            << QStringList{"保存未导入的联系人…", "确定"};
        QTest::newRow("stopped by the platform")
            << 1 << true << support::MsgIcon::Critical
            << "客户资料导入未完成！登录失败！用户名或密码错误\n没有发送任何联系人（共4条）。" << ok;
    }
    void completionMessage()
    {
        QFETCH(int, imports);
        QFETCH(bool, wrongPassword);
        QFETCH(support::MsgIcon, icon);
        QFETCH(QString, text);
        QFETCH(QStringList, buttons);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        if (wrongPassword) {
            auto users = demoserver::demoUsers();
            users.front().password = QStringLiteral("changed");
            server.setUsers(users);
        }
        for (int i = 0; i < imports; ++i) {
            boxes.clear();
            clickImport();
        }
        QCOMPARE(boxes.records().size(), 1);
        const support::MessageRecord& message = boxes.records().first();
        QCOMPARE(message.icon, icon);
        QCOMPARE(message.text, text);
        QCOMPARE(message.buttons, buttons);
    }

    // The contacts that did not get in are saved as a failures file, which
    // the window opens again as a contact list keeping the sheet's numbers.
    void notImportedSavedAndOpenedAgain()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        // Contact 2's request fails and is skipped.
        server.setFailurePlan(demoserver::failNth(3, FailMode::Http500));
        QTemporaryDir folder;
        const QString saved = folder.filePath(QStringLiteral("left.csv"));
        boxes.setAnswerer([&](const support::MessageRecord& record) {
            if (record.buttons.contains(QStringLiteral("跳过")))
                return 1;
            if (!record.buttons.contains(QStringLiteral("保存未导入的联系人…")))
                return 0;
            QTimer::singleShot(0, [saved] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->selectFile(saved);
                static_cast<QDialog*>(dialog)->accept();
            });
            return 0;
        });
        clickImport();
        QVERIFY2(boxes.texts().last().startsWith(QStringLiteral("未导入的1条联系人已保存到")), qPrintable(boxes.texts().join('|')));
        QVERIFY(contacts::IsFailuresFile(saved));

        server.setFailurePlan({});
        boxes.clear();
        chooseWorkbook(QStringLiteral("left.csv"), folder.path());
        QVERIFY(boxes.records().isEmpty());
        QVERIFY(visibleSheetButtons().isEmpty());
        QCOMPARE(listEntries(), QStringList{QStringLiteral("李四             15912345678")});
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        // Failed again: the failure keeps the sheet's number, 2.
        server.setFailurePlan([](int request) { return request == 1 ? FailMode::None : FailMode::NoStatus; });
        boxes.setAnswerer([](const support::MessageRecord&) { return 1; }); // 跳过, then 确定
        clickImport();
        QVERIFY2(boxes.texts().last().contains(QStringLiteral("\n第2条 李四 15912345678：平台的回复中没有状态。")),
                 qPrintable(boxes.texts().last()));
    }

    void progressBarCountsEveryContact()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("many.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        int maxSeen = -1;
        int valueSeen = -1;
        QString sentSeen;
        // Request 1 is the run's login, request 1 + k contact k: while contact
        // 6 is being served, 5 are through.
        server.setFailurePlan([&](int request) {
            if (request == 1 + 6)
                whileRequestIsServed([&] {
                    if (controls::ProgressBar* bar = frmImport().progressBar()) {
                        maxSeen = bar->Max();
                        valueSeen = bar->Value();
                        sentSeen = importControl<QLabel>(QStringLiteral("lblSent"))->text();
                    }
                });
            return FailMode::None;
        });
        clickImport();
        QCOMPARE(maxSeen, 300);
        QCOMPARE(valueSeen, 5);
        QCOMPARE(sentSeen, QStringLiteral("已发送 5/300 条"));
        QCOMPARE(frmImport().Summary.sent, 300);
        QCOMPARE(contactRequests(server.requestLines()).size(), 300);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("客户资料导入完成！\n共300条，成功300条，失败0条。")});
    }

    // While a request hangs, the window repaints and takes the cancel, shows
    // that it is stopping, and stops once the request has its outcome.
    void windowAnswersWhileARequestHangs()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("many.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        bool repainted = false;
        bool stoppingShown = false;
        bool stillOpen = false;
        QString sent;
        QString timeLeft;
        server.setFailurePlan([&](int request) {
            if (request != 1 + 4)
                return FailMode::None;
            QMetaObject::invokeMethod(qApp, [&] {
                QDialog* window = frmImport().window();
                PaintCounter counter(window);
                window->update();
                repainted = QTest::qWaitFor([&] { return counter.paints > 0; });
                sent = importControl<QLabel>(QStringLiteral("lblSent"))->text();
                timeLeft = importControl<QLabel>(QStringLiteral("lblTimeLeft"))->text();
                auto* cancel = importControl<QPushButton>(QStringLiteral("cmdCancel"));
                QTest::mouseClick(cancel, Qt::LeftButton);
                stoppingShown = !cancel->isEnabled()
                    && importControl<QLabel>(QStringLiteral("lblTimeLeft"))->text() == QStringLiteral("正在停止……");
                stillOpen = window->isVisible();
                // The hanging request is let go: its connection closes without a reply.
                server.setFailurePlan({});
            });
            return FailMode::Hang;
        });
        clickImport();
        QVERIFY(repainted);
        QCOMPARE(sent, QStringLiteral("已发送 3/300 条"));
        QVERIFY2(timeLeft.startsWith(QStringLiteral("约剩 ")), qPrintable(timeLeft));
        QVERIFY(stoppingShown);
        QVERIFY(stillOpen);
        QVERIFY(frmImport().Canceled);
        QCOMPARE(contactRequests(server.requestLines()).size(), 4);
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(3));
        const QString report = boxes.texts().value(0);
        QVERIFY2(report.startsWith(QStringLiteral("客户资料导入未完成！被强行中断！\n共300条，成功3条，失败1条。"
                                                  "已发送4条，还有296条没有发送。\n第4条 ")),
                 qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("平台可能已收到该联系人，结果不明")));
        QCOMPARE(boxes.records().first().icon, support::MsgIcon::Warning);
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<int>("cancelAtContact");
        QTest::addColumn<bool>("canceled");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("message");
        QTest::newRow("during an earlier contact")
            << "many.xlsx" << 3 << true << 3
            << "客户资料导入未完成！被强行中断！\n共300条，成功3条，失败0条。已发送3条，还有297条没有发送。";
        QTest::newRow("during the last contact") << "three_sheets.xlsx" << 4 << false << 4
                                                 << "客户资料导入完成！\n共4条，成功4条，失败0条。";
    }
    void cancel()
    {
        QFETCH(QString, workbook);
        QFETCH(int, cancelAtContact);
        QFETCH(bool, canceled);
        QFETCH(int, sent);
        QFETCH(QString, message);
        MessageBoxRecorder boxes;
        chooseWorkbook(workbook);
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        server.setFailurePlan([&](int request) {
            if (request == 1 + cancelAtContact)
                whileRequestIsServed(
                    [] { QTest::mouseClick(importControl<QPushButton>(QStringLiteral("cmdCancel")), Qt::LeftButton); });
            return FailMode::None;
        });
        clickImport();
        QCOMPARE(frmImport().Canceled, canceled);
        QCOMPARE(contactRequests(server.requestLines()).size(), sent);
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(sent));
        QCOMPARE(boxes.texts(), QStringList{message});
    }

    void closeBoxStopsAndActivationStartsNoSecondRun()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("many.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        server.setFailurePlan([&](int request) {
            if (request == 3)
                whileRequestIsServed([] {
                    QEvent activate(QEvent::WindowActivate);
                    QCoreApplication::sendEvent(frmImport().window(), &activate);
                });
            if (request == 6)
                whileRequestIsServed([] { frmImport().window()->close(); });
            return FailMode::None;
        });
        clickImport();
        QVERIFY(frmImport().Canceled);
        const QStringList lines = server.requestLines();
        QCOMPARE(lines.count(QStringLiteral("/Login.asp?UserName=demo&Password=demo123")), 1);
        QCOMPARE(contactRequests(lines).size(), 5);
    }

    void runThatCannotStart_data()
    {
        QTest::addColumn<bool>("noDocument");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("requests");
        QTest::newRow("no document object")
            << true
            << QStringList{"无法创建xml对象！", "客户资料导入未完成！无法创建xml对象！\n没有发送任何联系人（共4条）。"} << 0;
        QTest::newRow("login refused")
            << false << QStringList{"客户资料导入未完成！登录失败！用户名或密码错误\n没有发送任何联系人（共4条）。"} << 1;
    }
    void runThatCannotStart()
    {
        QFETCH(bool, noDocument);
        QFETCH(QStringList, messages);
        QFETCH(int, requests);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        if (noDocument) {
            FailXMLObjectCreationForTesting(true);
        } else {
            auto users = demoserver::demoUsers();
            users.front().password = QStringLiteral("changed");
            server.setUsers(users);
        }
        clickImport();
        QVERIFY(frmImport().Canceled);
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(boxes.records().first().icon, noDocument ? support::MsgIcon::NoIcon : support::MsgIcon::Critical);
        QCOMPARE(server.requestLines().size(), requests);
    }

    // Requests 3 and 5 (contacts 2 and 4) fail with HTTP 500 before the
    // platform stores anything.
    void failedRequestAsksRetrySkipOrStop_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("canceled");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("message");
        QTest::newRow("retry") << QList<int>{0, 0} << false << 6 << 4 << "客户资料导入完成！\n共4条，成功4条，失败0条。";
        QTest::newRow("skip") << QList<int>{1, 1} << false << 4 << 2
                              << "客户资料导入完成，但有2条联系人没有导入！\n共4条，成功2条，失败2条。\n第2条 李四 15912345678：";
        QTest::newRow("skip all, asked once") << QList<int>{2} << false << 4 << 2
                                              << "客户资料导入完成，但有2条联系人没有导入！\n共4条，成功2条，失败2条。";
        QTest::newRow("stop") << QList<int>{3} << true << 2 << 1
                              << "客户资料导入未完成！被强行中断！\n共4条，成功1条，失败1条。已发送2条，还有2条没有发送。";
    }
    void failedRequestAsksRetrySkipOrStop()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, canceled);
        QFETCH(int, requests);
        QFETCH(int, stored);
        QFETCH(QString, message);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        int contactRequest = 0;
        server.setFailurePlan([&](int request) {
            if (request > 1)
                ++contactRequest;
            return contactRequest == 2 || contactRequest == (answers.first() == 0 ? 5 : 4) ? FailMode::Http500
                                                                                           : FailMode::None;
        });
        for (const int answer : answers)
            boxes.queueAnswer(answer);
        boxes.queueAnswer(1); // the completion message: 确定
        clickImport();
        QCOMPARE(frmImport().Canceled, canceled);
        QCOMPARE(contactRequests(server.requestLines()).size(), requests);
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(stored));
        QCOMPARE(boxes.records().size(), answers.size() + 1);
        const support::MessageRecord& question = boxes.records().first();
        QCOMPARE(question.buttons, (QStringList{"重试", "跳过", "全部跳过", "停止"}));
        QVERIFY(question.text.contains(QStringLiteral("第2条")));
        QVERIFY(question.text.contains(QStringLiteral("李四")));
        QVERIFY(question.text.contains(QStringLiteral("15912345678")));
        QVERIFY(question.text.contains(QStringLiteral("500")));
        // The request reached the platform: it may hold the contact.
        QVERIFY(question.text.contains(QStringLiteral("平台可能已经保存了这个联系人")));
        QVERIFY2(boxes.texts().last().startsWith(message), qPrintable(boxes.texts().last()));
    }

    // After an interrupted import the same contacts into the same group may
    // go without those already accepted; the offer comes from the journal the
    // window keeps in the user's state folder.
    void interruptedImportResumes_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("counts");
        QTest::newRow("only those not yet accepted") << 0 << 2 << "共4条，成功4条（其中2条已在上次导入），失败0条。";
        QTest::newRow("all again") << 1 << 4 << "共4条，成功2条，失败2条。";
        QTest::newRow("cancel") << 2 << 0 << "";
    }
    void interruptedImportResumes()
    {
        QFETCH(int, answer);
        QFETCH(int, requests);
        QFETCH(QString, counts);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        server.setFailurePlan([&](int request) {
            if (request == 1 + 2)
                whileRequestIsServed(
                    [] { QTest::mouseClick(importControl<QPushButton>(QStringLiteral("cmdCancel")), Qt::LeftButton); });
            return FailMode::None;
        });
        clickImport();
        QVERIFY(frmImport().Canceled);
        const QDir folder(state.filePath(QStringLiteral("veltrin-import")));
        QCOMPARE(folder.entryList(QDir::Files).size(), 1);

        server.setFailurePlan({});
        server.clearRequestLines();
        boxes.clear();
        boxes.queueAnswer(answer);
        clickImport();
        const support::MessageRecord& offer = boxes.records().first();
        QCOMPARE(offer.text, QStringLiteral("上次把这些联系人导入这个分组时没有完成：已导入2条，共4条。\n只发送还没有导入的2条吗？"));
        QCOMPARE(offer.buttons, (QStringList{"只发送未导入的", "全部发送", "取消"}));
        QCOMPARE(contactRequests(server.requestLines()).size(), requests);
        if (counts.isEmpty()) {
            QCOMPARE(boxes.records().size(), 1);
            return;
        }
        QVERIFY2(boxes.texts().last().contains(u'\n' + counts), qPrintable(boxes.texts().last()));
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(4));
    }
};

VELTRIN_TEST_MAIN(TestWorkflow)
#include "tst_workflow.moc"
