// The main window end to end: choosing workbooks and worksheets, analysing
// them, and importing into the demo platform through the import window.
#include "platform/modPub.h"
#include "controls/ProgressBar.h"
#include "demoserver/DemoServer.h"
#include "import/frmImport.h"
#include "import/frmMain.h"
#include "support/MessageBox.h"
#include "support/Twips.h"
#include "workbook/Workbook.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QAbstractItemView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringListModel>
#include <QToolButton>
#include <QtTest>

using namespace modPub;
using demoserver::DemoServer;
using demoserver::FailMode;
using support::MessageBoxRecorder;

namespace {

const QString DataDir = QStringLiteral(VELTRIN_TEST_DATA "/contacts/");
const QString AskForGroup = QStringLiteral("请选择联系人分组！如果需要创建新的分组，请登录到“Veltrin企业短信平台”创建！");

template <typename T> T* control(const QString& name)
{
    QWidget* window = frmMain().window();
    auto* widget = window ? window->findChild<T*>(name) : nullptr;
    if (!widget)
        qFatal("control %s missing", qPrintable(name));
    return widget;
}

QDialog* openFileDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == QStringLiteral("请选择文件"))
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

// Chooses a workbook through the file dialog as a user would: the dialog opens
// at the process's current directory, the name is typed and OK pressed.
void chooseWorkbook(const QString& fileName, const QString& folder = DataDir)
{
    QDir::setCurrent(folder);
    QTimer::singleShot(0, [fileName] {
        QDialog* dialog = openFileDialog();
        QVERIFY(dialog);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(fileName);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSelFile")), Qt::LeftButton);
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
    auto* list = control<QAbstractItemView>(QStringLiteral("lstCust"));
    return qobject_cast<QStringListModel*>(list->model())->stringList();
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

int groupIndex(const QString& name)
{
    auto* combo = control<QComboBox>(QStringLiteral("cmbGroup"));
    for (int i = 1; i < combo->count(); ++i)
        if (combo->itemText(i).trimmed() == name)
            return i;
    return -1;
}

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

private slots:
    void initTestCase()
    {
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
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtFileName"))->text(), DataDir + QStringLiteral("three_sheets.xlsx"));
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
        QCOMPARE(control<QAbstractItemView>(QStringLiteral("lstCust"))->selectionModel()->selectedRows().size(), 4);
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
        const QString formats = QStringLiteral(VELTRIN_TEST_DATA "/formats/");
        QDir::setCurrent(formats);
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

        chooseWorkbook(QStringLiteral("contacts.xlsx"), formats);
        const QStringList expected = listEntries();
        QCOMPARE(expected.size(), 8);
        for (const char* name : {"gbk.csv", "web_export.xls", "web_page.html", "web_system_2003.xls", "contacts.ods"}) {
            chooseWorkbook(QString::fromLatin1(name), formats);
            QCOMPARE(listEntries(), expected);
            QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());
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
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtFileName"))->text(), DataDir + QStringLiteral("three_sheets.xlsx"));
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
        int maxSeen = -1;
        boxes.setAnswerer([&](const support::MessageRecord&) { return 0; });
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(!frmImport().Canceled);
        maxSeen = frmImport().Summary.total;
        QCOMPARE(maxSeen, 4);
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
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("客户资料导入完成！")});
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(4));
        QCOMPARE(server.contacts(demoGroupId).at(2).tel, QStringLiteral("+86 10 1234"));
        QCOMPARE(server.contacts(demoGroupId).at(1).remark, QStringLiteral("&GroupID=9"));
        // The table and the list stay, and so does the import button.
        QCOMPARE(listEntries().size(), 4);
        QVERIFY(control<QPushButton>(QStringLiteral("cmdOK"))->isEnabled());

        // The same contacts again into the same group: every mobile is refused.
        boxes.clear();
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(!frmImport().Canceled);
        const QString report = boxes.texts().value(0);
        QVERIFY2(report.startsWith(QStringLiteral("客户资料导入完成！\n共4条，成功1条，失败3条。\n第1条 张三 13812345678：手机号码已存在")),
                 qPrintable(report));
        QCOMPARE(boxes.records().first().detailedText.count(QStringLiteral("手机号码已存在")), 3);

        // And into another group: all are taken.
        boxes.clear();
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(groupIndex(QStringLiteral("供应商")));
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("客户资料导入完成！")});
    }

    void progressBarCountsEveryContact()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("many.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        int maxSeen = -1;
        int valueSeen = -1;
        // Request 1 is the run's login, request 2 + j the contact j. What the
        // server posts while serving a request runs at the next contact's turn.
        server.setFailurePlan([&](int request) {
            if (request == 2 + 5)
                QMetaObject::invokeMethod(qApp, [&] {
                    if (controls::ProgressBar* bar = frmImport().progressBar()) {
                        maxSeen = bar->Max();
                        valueSeen = bar->Value();
                    }
                });
            return FailMode::None;
        });
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(maxSeen, 300);
        QCOMPARE(valueSeen, 6);
        QCOMPARE(frmImport().Summary.sent, 300);
        QCOMPARE(contactRequests(server.requestLines()).size(), 300);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("客户资料导入完成！")});
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<int>("cancelAtContact");
        QTest::addColumn<bool>("canceled");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("message");
        QTest::newRow("during an earlier contact") << "many.xlsx" << 2 << true << 3
                                                   << "客户资料导入未完成！被强行中断！\n已发送3条，共300条。";
        QTest::newRow("during the last contact") << "three_sheets.xlsx" << 3 << false << 4 << "客户资料导入完成！";
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
            if (request == 2 + cancelAtContact)
                QMetaObject::invokeMethod(qApp, [] {
                    if (QDialog* window = frmImport().window())
                        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
                });
            return FailMode::None;
        });
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
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
                QMetaObject::invokeMethod(qApp, [] {
                    QEvent activate(QEvent::WindowActivate);
                    if (QDialog* window = frmImport().window())
                        QCoreApplication::sendEvent(window, &activate);
                });
            if (request == 6)
                QMetaObject::invokeMethod(qApp, [] {
                    if (QDialog* window = frmImport().window())
                        window->close();
                });
            return FailMode::None;
        });
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
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
            << true << QStringList{"无法创建xml对象！", "客户资料导入未完成！被强行中断！\n已发送0条，共4条。"} << 0;
        QTest::newRow("login refused")
            << false << QStringList{"登录失败！用户名或密码错误", "客户资料导入未完成！被强行中断！\n已发送0条，共4条。"} << 1;
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
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(frmImport().Canceled);
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(boxes.records().first().icon, noDocument ? support::MsgIcon::NoIcon : support::MsgIcon::Critical);
        QCOMPARE(server.requestLines().size(), requests);
    }

    void failedRequestAsksRetrySkipOrStop_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("canceled");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("message");
        QTest::newRow("retry") << 0 << false << 5 << 4 << "客户资料导入完成！";
        QTest::newRow("skip") << 1 << false << 4 << 3 << "客户资料导入完成！\n共4条，成功3条，失败1条。\n第2条 李四 15912345678：";
        QTest::newRow("stop") << 2 << true << 2 << 1 << "客户资料导入未完成！被强行中断！\n已发送1条，共4条。";
    }
    void failedRequestAsksRetrySkipOrStop()
    {
        QFETCH(int, answer);
        QFETCH(bool, canceled);
        QFETCH(int, requests);
        QFETCH(int, stored);
        QFETCH(QString, message);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("three_sheets.xlsx"));
        control<QComboBox>(QStringLiteral("cmbGroup"))->setCurrentIndex(1);
        server.setFailurePlan(demoserver::failNth(3, FailMode::Http500));
        boxes.queueAnswer(answer);
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(frmImport().Canceled, canceled);
        QCOMPARE(contactRequests(server.requestLines()).size(), requests);
        QCOMPARE(server.contacts(demoGroupId).size(), size_t(stored));
        QCOMPARE(boxes.records().size(), 2);
        const support::MessageRecord& question = boxes.records().first();
        QCOMPARE(question.buttons, (QStringList{"重试", "跳过", "停止"}));
        QVERIFY(question.text.contains(QStringLiteral("第2条")));
        QVERIFY(question.text.contains(QStringLiteral("李四")));
        QVERIFY(question.text.contains(QStringLiteral("15912345678")));
        QVERIFY(question.text.contains(QStringLiteral("500")));
        QVERIFY2(boxes.texts().last().startsWith(message), qPrintable(boxes.texts().last()));
    }
};

QTEST_MAIN(TestWorkflow)
#include "tst_workflow.moc"
