#include "ScriptedServer.h"
#include "platform/modPub.h"
#include "import/frmMain.h"
#include "support/MessageBox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStringListModel>
#include <QtTest>

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

template <typename T> T* control(const char* name)
{
    QWidget* window = frmMain().window();
    auto* widget = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
    if (!widget)
        qFatal("control %s missing", name);
    return widget;
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

} // namespace

class TestMain : public QObject {
    Q_OBJECT

private slots:
    void init() { FailXMLObjectCreationForTesting(false); }
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
        for (const char* name : {"cmdOK", "cmdExit", "cmdSelFile"}) {
            QVERIFY(!control<QPushButton>(name)->isDefault());
            QVERIFY(!control<QPushButton>(name)->autoDefault());
        }
        QVERIFY(!control<QComboBox>("cmbGroup")->isEditable());
        QCOMPARE(control<QAbstractItemView>("lstCust")->selectionMode(), QAbstractItemView::ExtendedSelection);
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
        qobject_cast<QStringListModel*>(list->model())->setStringList(entries);
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
            QCOMPARE(boxes.texts(), QStringList{QStringLiteral("加载联系人分组列表失败！")});
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
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("加载联系人分组列表失败！")});
    }

    void documentObjectFailureIsReported()
    {
        ScriptedServer server(ScriptedServer::always({200, groupReply("0", "<List/>")}));
        SetBaseURL(server.baseUrl(), nullptr);
        FailXMLObjectCreationForTesting(true);
        MessageBoxRecorder boxes;
        showMain();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("加载联系人分组列表失败！")});
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
};

QTEST_MAIN(TestMain)
#include "tst_main.moc"
