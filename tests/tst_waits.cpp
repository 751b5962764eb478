// The login and the group list wait for the platform off the GUI thread: the
// window shows the busy cursor, takes no input meanwhile, and a second press
// or activation starts nothing.
#include "TestMain.h"
#include "app/frmLogin.h"
#include "demoserver/DemoServer.h"
#include "import/frmMain.h"
#include "platform/modPub.h"
#include "support/Background.h"
#include "support/MessageBox.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using demoserver::FailMode;

namespace {

struct WaitSeen {
    bool busyCursor = false;
    bool windowDisabled = false;
};

// What the wait looks like while the platform holds the request; the action
// then tries to start the same request again.
WaitSeen duringTheWait(QWidget* window, const std::function<void()>& again)
{
    WaitSeen seen;
    seen.busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
    seen.windowDisabled = window && !window->isEnabled();
    again();
    return seen;
}

void onGuiThread(const std::function<void()>& action)
{
    QMetaObject::invokeMethod(qApp, action, Qt::BlockingQueuedConnection);
}

} // namespace

class TestWaits : public QObject {
    Q_OBJECT

    demoserver::DemoServer server;

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        QVERIFY(modPub::SetBaseURL(server.baseUrl(), nullptr));
    }

    // On Windows the wait returns only once the work's thread has ended for
    // good, its thread-local clean-up done: a program that ended just after
    // would cut that short and hang in its own end.
    void workThreadHasEndedWhenTheWaitReturns()
    {
#ifdef Q_OS_WIN
        for (int run = 0; run < 50; ++run) {
            HANDLE worker = nullptr;
            support::RunOffGuiThread([&] {
                DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &worker, SYNCHRONIZE,
                                FALSE, 0);
            });
            QVERIFY(worker);
            const DWORD state = WaitForSingleObject(worker, 0);
            CloseHandle(worker);
            QCOMPARE(state, DWORD(WAIT_OBJECT_0));
        }
#else
        QSKIP("only on Windows does a thread run its thread-local clean-up after QThread::wait has returned");
#endif
    }

    void loginWaitIsBusyAndStartsOnce()
    {
        support::MessageBoxRecorder boxes;
        WaitSeen seen;
        server.clearRequestLines();
        server.setFailurePlan([&](int request) {
            if (request == 1)
                onGuiThread([&] {
                    QDialog* dialog = frmLogin().window();
                    seen = duringTheWait(dialog, [dialog] {
                        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
                        QTest::keyClick(dialog, Qt::Key_Return);
                    });
                });
            return FailMode::None;
        });
        QTimer::singleShot(0, [] {
            QDialog* dialog = frmLogin().window();
            dialog->findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(QStringLiteral("demo"));
            dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("demo123"));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        });
        frmLogin().Show();
        QVERIFY(frmLogin().LoginSucceeded);
        QVERIFY(seen.busyCursor);
        QVERIFY(seen.windowDisabled);
        QCOMPARE(server.requestLines().size(), qsizetype(1));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(boxes.records().isEmpty());
    }

    void groupListWaitIsBusyAndStartsOnce()
    {
        // The login dialog's work: the session cookie comes from this login.
        net::XMLDocument login;
        login.load(modPub::LoginURL(QStringLiteral("demo"), QStringLiteral("demo123")));
        support::MessageBoxRecorder boxes;
        WaitSeen seen;
        server.clearRequestLines();
        server.setFailurePlan([&](int request) {
            if (request == 1)
                onGuiThread([&] {
                    QWidget* window = frmMain().window();
                    seen = duringTheWait(window, [window] {
                        QEvent activate(QEvent::WindowActivate);
                        QCoreApplication::sendEvent(window, &activate);
                    });
                });
            return FailMode::None;
        });
        frmMain().Show();
        QTRY_VERIFY(frmMain().groupsLoaded());
        QVERIFY(seen.busyCursor);
        QVERIFY(seen.windowDisabled);
        QCOMPARE(server.requestLines(), QStringList{QStringLiteral("/XML/XML_LinkmanGroup.asp?ACT=LST")});
        QVERIFY(frmMain().window()->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(frmMain().window()->findChild<QComboBox*>(QStringLiteral("cmbGroup"))->count() > 1);
        QVERIFY(boxes.records().isEmpty());
        frmMain().Unload();
    }
};

VELTRIN_TEST_MAIN(TestWaits)
#include "tst_waits.moc"
