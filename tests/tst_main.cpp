#include "TestMain.h"
#include "ScriptedServer.h"
#include "platform/Settings.h"
#include "platform/modPub.h"
#include "filedialog/DirList.h"
#include "import/ContactListModel.h"
#include "import/ContactListView.h"
#include "import/frmMain.h"
#include "MainWindowControl.h"
#include "support/MessageBox.h"
#include "support/Twips.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QtTest>

#include <memory>

using namespace modPub;
using support::MessageBoxRecorder;

namespace {

QByteArray groupReply(const QByteArray& status, const QByteArray& list)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Result><Status>" + status + "</Status><Msg/>" + list
        + "</Result>";
}

QByteArray group(const QByteArray& id, const QByteArray& indent, const QByteArray& name)
{
    return "<Group><ID>" + id + "</ID><Indent>" + indent + "</Indent><Name>" + name + "</Name></Group>";
}

// Shows the main window and waits for its first activation to have run.
void showMain()
{
    frmMain().Show();
    QTRY_VERIFY(frmMain().groupsLoaded());
}

void unloadMain()
{
    frmMain().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmMain().window());
}

QStringList comboTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

QList<int> comboData(QComboBox* combo)
{
    QList<int> data;
    for (int i = 0; i < combo->count(); ++i)
        data.append(combo->itemData(i).isValid() ? combo->itemData(i).toInt() : 999);
    return data;
}

const QString DataDir = testplatform::TestDataPath(QStringLiteral("contacts"));

ContactListModel* contactList()
{
    return control<ContactListView>("lstCust")->contacts();
}

QMimeData* fileDrag(const QList<QUrl>& urls)
{
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Drags the files over the contact list, as a user drags them from a file
// manager; returns whether the window took the drag.
bool dragOver(const QList<QUrl>& urls)
{
    std::unique_ptr<QMimeData> data(fileDrag(urls));
    QWidget* list = control<QWidget>("lstCust");
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    return enter.isAccepted();
}

// Drops one workbook of the test data on the window and waits for it to be listed.
void dropWorkbook(const QString& name)
{
    const QString path = DataDir + QLatin1Char('/') + name;
    QVERIFY(dragOver({QUrl::fromLocalFile(path)}));
    std::unique_ptr<QMimeData> data(fileDrag({QUrl::fromLocalFile(path)}));
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frmMain().window(), &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(control<QLineEdit>("txtFileName")->text(), QDir::toNativeSeparators(path));
}

QStringList tabStops(int count)
{
    QStringList visited;
    for (int i = 0; i < count; ++i) {
        visited.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return visited;
}

QList<bool> marks()
{
    const std::vector<bool>& checked = contactList()->checked();
    return {checked.begin(), checked.end()};
}

void clickEntry(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    auto* list = control<QAbstractItemView>("lstCust");
    const QRect entry = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, entry.center());
}

} // namespace

class TestMain : public QObject {
    Q_OBJECT

    QTemporaryDir config;

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qputenv("XDG_CONFIG_DIRS", config.filePath(QStringLiteral("system")).toUtf8());
    }

    void init()
    {
        FailXMLObjectCreationForTesting(false);
        QFile::remove(settings::UserFile());
    }
    void cleanup()
    {
        if (frmMain().window())
            unloadMain();
    }

    void windowAsLaidOut()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QWidget* window = frmMain().window();
        QCOMPARE(window->windowTitle(), QStringLiteral("Veltrin联系人导入"));
        QVERIFY(control<QLineEdit>("txtFileName")->isReadOnly());
        QVERIFY(!control<QPushButton>("cmdOK")->isEnabled());
        QCOMPARE(control<QPushButton>("cmdOK")->text(), QStringLiteral("导入"));
        QCOMPARE(control<QPushButton>("cmdExit")->text(), QStringLiteral("退出"));
        QCOMPARE(control<QPushButton>("cmdSelFile")->text(), QStringLiteral("选择文件"));
        for (const char* name : {"cmdOK", "cmdExit", "cmdSelFile"})
            QVERIFY(!control<QPushButton>(name)->isDefault());
        QVERIFY(!control<QComboBox>("cmbGroup")->isEditable());
        QVERIFY(!control<QRadioButton>("optSheet0")->isVisible());
        QCOMPARE(control<QRadioButton>("optSheet0")->text(), QStringLiteral("Sheet1"));
    }

    // The contact list is used like a list box: Home and End reach the ends,
    // Tab leaves it, and a row is one line of its font high.
    void contactListKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("row");
        QTest::newRow("Home") << int(Qt::Key_Home) << 0;
        QTest::newRow("End") << int(Qt::Key_End) << 49;
        QTest::newRow("Down") << int(Qt::Key_Down) << 6;
        QTest::newRow("Up") << int(Qt::Key_Up) << 4;
    }
    void contactListKeys()
    {
        QFETCH(int, key);
        QFETCH(int, row);
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        auto* list = control<QAbstractItemView>("lstCust");
        QStringList entries;
        for (int i = 0; i < 50; ++i)
            entries << QStringLiteral("联系人%1").arg(i);
        contactList()->setEntries(entries);
        list->setFocus();
        list->setCurrentIndex(list->model()->index(5, 0));
        QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(list->currentIndex().row(), row);
        QCOMPARE(list->visualRect(list->model()->index(1, 0)).height(), QFontMetrics(list->font()).height());
        // Tab goes past the disabled import button to the next control.
        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), control<QPushButton>("cmdExit"));
    }

    void loadGroups_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("data");
        const QString placeholder = QStringLiteral("<--请选择联系人分组-->");
        QTest::newRow("groups in order with indentation by character count")
            << groupReply("0", "<List>" + group("1", "", "全部客户") + group("2", "　　", "重要客户")
                                   + group(" 12 ", "--x", "普通客户") + "</List>")
            << true << QStringList{placeholder, "全部客户", "  重要客户", "   普通客户"} << QList<int>{-1, 1, 2, 12};
        QTest::newRow("two groups of one name told apart by item data")
            << groupReply("0", "<List>" + group("7", "", "同名") + group("8", "", "同名") + "</List>") << true
            << QStringList{placeholder, "同名", "同名"} << QList<int>{-1, 7, 8};
        QTest::newRow("empty list") << groupReply("0", "<List/>") << true << QStringList{placeholder} << QList<int>{-1};
        QTest::newRow("negative and extreme ids")
            << groupReply("0", "<List>" + group("-2147483648", "", "a") + group("2147483647", "", "b") + "</List>")
            << true << QStringList{placeholder, "a", "b"} << QList<int>{-1, -2147483647 - 1, 2147483647};
        QTest::newRow("status with a space") << groupReply(" 0", "<List>" + group("1", "", "a") + "</List>") << false
                                             << QStringList{placeholder} << QList<int>{-1};
        QTest::newRow("status not 0") << groupReply("-1", "") << false << QStringList{placeholder} << QList<int>{-1};
        QTest::newRow("no list child") << groupReply("0", "").replace("<Msg/>", "") << false << QStringList{placeholder}
                                       << QList<int>{-1};
        QTest::newRow("id with a letter fails, entries so far stay")
            << groupReply("0", "<List>" + group("1", "", "a") + group("1a", "", "b") + group("3", "", "c") + "</List>")
            << false << QStringList{placeholder, "a", "b"} << QList<int>{-1, 1, 999};
        QTest::newRow("fractional id") << groupReply("0", "<List>" + group("1.5", "", "a") + "</List>") << false
                                       << QStringList{placeholder, "a"} << QList<int>{-1, 999};
        QTest::newRow("id beyond 32 bits") << groupReply("0", "<List>" + group("2147483648", "", "a") + "</List>")
                                           << false << QStringList{placeholder, "a"} << QList<int>{-1, 999};
        QTest::newRow("group with two children")
            << groupReply("0", "<List><Group><ID>1</ID><Indent/></Group></List>") << false << QStringList{placeholder}
            << QList<int>{-1};
        QTest::newRow("not XML") << QByteArray("<html>oops") << false << QStringList{placeholder} << QList<int>{-1};
    }
    void loadGroups()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, loaded);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, data);
        ScriptedServer server(ScriptedServer::always({200, reply}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        // Read the list at the moment the failure message is up, before the window goes.
        QStringList textsAtMessage;
        QList<int> dataAtMessage;
        boxes.setAnswerer([&](const support::MessageRecord&) {
            textsAtMessage = comboTexts(control<QComboBox>("cmbGroup"));
            dataAtMessage = comboData(control<QComboBox>("cmbGroup"));
            return 0;
        });
        showMain();
        QCOMPARE(server.targets(), QStringList{QStringLiteral("/XML/XML_LinkmanGroup.asp?ACT=LST")});
        if (loaded) {
            QVERIFY(boxes.records().isEmpty());
            auto* combo = control<QComboBox>("cmbGroup");
            QCOMPARE(comboTexts(combo), texts);
            QCOMPARE(comboData(combo), data);
            QCOMPARE(combo->currentIndex(), 0);
        } else {
            QCOMPARE(boxes.texts().size(), 1);
            const QStringList lines = boxes.texts().first().split(u'\n');
            QCOMPARE(lines.first(), QStringLiteral("加载联系人分组列表失败！"));
            QVERIFY(lines.size() == 2 && !lines.last().isEmpty());
            QCOMPARE(boxes.records().first().icon, support::MsgIcon::Critical);
            QCOMPARE(textsAtMessage, texts);
            QCOMPARE(dataAtMessage, data);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!frmMain().window());
        }
    }

    void secondActivationDoesNotReload()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(frmMain().window(), &activate);
        frmMain().window()->hide();
        frmMain().Show();
        QCoreApplication::processEvents();
        QCOMPARE(server.targets().size(), 1);
    }

    void unreachableServerEndsOnceWithMessage()
    {
        QString deadUrl;
        {
            ScriptedServer gone(ScriptedServer::always({}));
            deadUrl = gone.baseUrl();
        }
        SetBaseURL(deadUrl, nullptr);
        MessageBoxRecorder boxes;
        showMain();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frmMain().window());
        QCoreApplication::processEvents();
        QCOMPARE(boxes.texts().size(), 1);
        const QString text = boxes.texts().first();
        QVERIFY2(text.startsWith(QStringLiteral("加载联系人分组列表失败！\n无法连接服务器 127.0.0.1:%1")
                                     .arg(QUrl(deadUrl).port())),
                 qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("XML_LinkmanGroup")));
    }

    void documentObjectFailureIsReported()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        FailXMLObjectCreationForTesting(true);
        MessageBoxRecorder boxes;
        showMain();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("加载联系人分组列表失败！\n无法创建xml对象！")});
        QVERIFY(server.targets().isEmpty());
    }

    void exitButtonUnloads()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QTest::mouseClick(control<QPushButton>("cmdExit"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frmMain().window());
    }

    // The frame around the sheet buttons is no Tab stop; the buttons are.
    void tabOrder()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QApplication::setActiveWindow(frmMain().window());
        control<QLineEdit>("txtFileName")->setFocus();
        QCOMPARE(tabStops(6), (QStringList{"txtFileName", "cmdSelFile", "lstCust", "cmdExit", "cmbGroup", "txtFileName"}));
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("one_sheet.xlsx"));
        control<QLineEdit>("txtFileName")->setFocus();
        QCOMPARE(tabStops(8), (QStringList{"txtFileName", "cmdSelFile", "lstCust", "cmdOK", "cmdExit", "cmbGroup",
                                           "optSheet0", "txtFileName"}));
    }

    // Enter presses the focused button; elsewhere it presses nothing.
    void enterOnFocusedButton_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("选择文件") << "cmdSelFile" << "file dialog";
        QTest::newRow("导入") << "cmdOK" << "asks for a group";
        QTest::newRow("退出") << "cmdExit" << "closed";
        QTest::newRow("the list") << "lstCust" << "nothing";
        QTest::newRow("the group list") << "cmbGroup" << "nothing";
    }
    void enterOnFocusedButton()
    {
        QFETCH(QString, focused);
        QFETCH(QString, outcome);
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("one_sheet.xlsx"));
        QApplication::setActiveWindow(frmMain().window());
        frmMain().window()->findChild<QWidget*>(focused)->setFocus();
        QString seen = QStringLiteral("nothing");
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen = QStringLiteral("file dialog");
                dialog->reject();
            }
        });
        boxes.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!frmMain().window())
            seen = QStringLiteral("closed");
        else if (!boxes.records().isEmpty())
            seen = QStringLiteral("asks for a group");
        QCOMPARE(seen, outcome);
    }

    // A dropped workbook is chosen as the file dialog chooses one: listed,
    // its first sheet analysed, the group choice cleared, its folder kept.
    void dropOfAWorkbook()
    {
        ScriptedServer server(ScriptedServer::always(
            {200, groupReply("0", "<List>" + group("1", "", "a") + group("2", "", "b") + "</List>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        control<QComboBox>("cmbGroup")->setCurrentIndex(2);
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("three_sheets.xlsx"));
        QCOMPARE(control<QRadioButton>("optSheet2")->text(), QStringLiteral("供应商"));
        QVERIFY(control<QRadioButton>("optSheet0")->isChecked());
        QCOMPARE(contactList()->rowCount(), 4);
        QCOMPARE(control<QComboBox>("cmbGroup")->currentIndex(), 0);
        QVERIFY(control<QPushButton>("cmdOK")->isEnabled());
        QCOMPARE(settings::LastWorkbookFolder(), DataDir);
        QVERIFY(boxes.records().isEmpty());
    }

    void dragsThatNameNoWorkbookAreRefused_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        const QUrl file = QUrl::fromLocalFile(DataDir + QStringLiteral("/one_sheet.xlsx"));
        QTest::newRow("a folder") << QList<QUrl>{QUrl::fromLocalFile(DataDir)};
        QTest::newRow("two files") << QList<QUrl>{file, QUrl::fromLocalFile(DataDir + QStringLiteral("/cases.xls"))};
        QTest::newRow("a web address") << QList<QUrl>{QUrl(QStringLiteral("https://example.com/a.xls"))};
        QTest::newRow("a file that is gone") << QList<QUrl>{QUrl::fromLocalFile(DataDir + QStringLiteral("/gone.xls"))};
        QTest::newRow("no file") << QList<QUrl>{};
    }
    void dragsThatNameNoWorkbookAreRefused()
    {
        QFETCH(QList<QUrl>, urls);
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QVERIFY(!dragOver(urls));
    }

    // The dialog opens in the folder of the last workbook chosen.
    void fileDialogOpensInTheLastFolder()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        settings::RememberWorkbookFolder(DataDir);
        QString opened;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            opened = dialog->findChild<filedialog::DirList*>(QStringLiteral("lstDir"))->path();
            dialog->reject();
        });
        QTest::mouseClick(control<QPushButton>("cmdSelFile"), Qt::LeftButton);
        QCOMPARE(opened, QDir::toNativeSeparators(DataDir));
    }

    void theOnlySheetButtonStaysChecked()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("one_sheet.xlsx"));
        auto* only = control<QRadioButton>("optSheet0");
        QVERIFY(only->isChecked());
        QTest::mouseClick(only, Qt::LeftButton);
        QVERIFY(only->isChecked());
        only->setFocus();
        QTest::keyClick(only, Qt::Key_Space);
        QVERIFY(only->isChecked());
        QVERIFY(control<QPushButton>("cmdOK")->isEnabled());
    }

    // A name cut off by its button is in the button's tooltip, shown as the
    // text it is, markup and all.
    void cutOffSheetNameInTooltip()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("long_names.xlsx"));
        const QStringList names{QStringLiteral("2024年第一季度华东区重点客户名单"), QStringLiteral("<b>粗体&表")};
        for (int i = 0; i < names.size(); ++i) {
            auto* button = frmMain().window()->findChild<QRadioButton*>(QStringLiteral("optSheet%1").arg(i));
            const bool cutOff = button->sizeHint().width() > button->width();
            QCOMPARE(button->toolTip().isEmpty(), !cutOff);
            if (cutOff) {
                QTextDocument shown;
                shown.setHtml(button->toolTip());
                QCOMPARE(shown.toPlainText(), names[i]);
            }
        }
        QVERIFY(!control<QRadioButton>("optSheet0")->toolTip().isEmpty());
        QVERIFY(control<QRadioButton>("optSheet0")->toolTip().contains(QStringLiteral("<p")));
    }

    // The laid-out size is the smallest; the list takes the extra room.
    void enlargedWindowGivesTheListTheRoom()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        QWidget* window = frmMain().window();
        const QSize smallest(support::TwipsToPixels(6945), support::TwipsToPixels(5865));
        QCOMPARE(window->minimumSize(), smallest);
        QCOMPARE(window->size(), smallest);
        auto* list = control<QWidget>("lstCust");
        auto* exit = control<QWidget>("cmdExit");
        auto* skipped = control<QWidget>("cmdSkipped");
        const QRect listBefore = list->geometry();
        const QRect exitBefore = exit->geometry();
        const QRect skippedBefore = skipped->geometry();
        window->resize(smallest + QSize(300, 200));
        QCOMPARE(list->size(), listBefore.size() + QSize(300, 200));
        QCOMPARE(list->pos(), listBefore.topLeft());
        QCOMPARE(exit->geometry(), exitBefore.translated(300, 0));
        // What stands below the list stays below it, at the right edge.
        QCOMPARE(skipped->geometry(), skippedBefore.translated(300, 200));
        QVERIFY(list->geometry().bottom() < control<QWidget>("lblColumns")->y());
        QVERIFY(window->rect().contains(skipped->geometry()));
        window->resize(smallest - QSize(100, 100));
        QCOMPARE(window->size(), smallest);
        QCOMPARE(list->geometry(), listBefore);
    }

    // Every box is checked after an analysis; a click toggles its own entry
    // and no other, whatever the modifier keys; Space toggles the current one.
    void checkBoxes()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("many.xlsx"));
        const int n = contactList()->rowCount();
        QCOMPARE(n, 300);
        QList<bool> expected(n, true);
        QCOMPARE(marks(), expected);
        auto* list = control<QAbstractItemView>("lstCust");
        QCOMPARE(list->model()->index(7, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

        clickEntry(3);
        expected[3] = false;
        QCOMPARE(marks(), expected);
        clickEntry(5, Qt::ControlModifier);
        expected[5] = false;
        QCOMPARE(marks(), expected);
        clickEntry(8, Qt::ShiftModifier);
        expected[8] = false;
        QCOMPARE(marks(), expected);
        clickEntry(3);
        expected[3] = true;
        QCOMPARE(marks(), expected);
        QCOMPARE(list->model()->index(5, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        const int current = list->currentIndex().row();
        QTest::keyClick(list, Qt::Key_Space);
        expected[current] = !expected[current];
        QCOMPARE(marks(), expected);

        // A new analysis checks every box again.
        dropWorkbook(QStringLiteral("one_sheet.xlsx"));
        QCOMPARE(marks(), QList<bool>(2, true));
    }

    // Assistive technology meets a list with one item per contact, each with
    // its text and its check box.
    void contactListIsAnAccessibleList()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        showMain();
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral("three_sheets.xlsx"));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(control<QWidget>("lstCust"));
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("联系人"));
        QCOMPARE(list->childCount(), 4);
        const QStringList entries = contactList()->entries();
        for (int i = 0; i < 4; ++i) {
            QAccessibleInterface* item = list->child(i);
            QVERIFY(item && item->isValid());
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->text(QAccessible::Name), entries[i]);
            QVERIFY(item->state().checkable);
            QVERIFY(item->state().checked);
            QCOMPARE(list->indexOfChild(item), i);
            QCOMPARE(item->parent(), list);
        }
        QVERIFY(!list->child(4));

        QAccessibleActionInterface* action = list->child(1)->actionInterface();
        QVERIFY(action);
        action->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(!list->child(1)->state().checked);
        QCOMPARE(marks(), (QList<bool>{true, false, true, true}));

        // The window presents the list among its children.
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(frmMain().window());
        bool found = false;
        for (int i = 0; i < window->childCount(); ++i)
            found = found || window->child(i) == list;
        QVERIFY(found);

        // A shorter list leaves no item standing for a contact that is gone.
        QAccessibleInterface* fourth = list->child(3);
        dropWorkbook(QStringLiteral("one_sheet.xlsx"));
        QCOMPARE(list->childCount(), 2);
        QVERIFY(!fourth->isValid());
    }
};

VELTRIN_TEST_MAIN(TestMain)
#include "tst_main.moc"
