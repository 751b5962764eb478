#include "ScriptedServer.h"
#include "app/frmLogin.h"
#include "platform/modPub.h"
#include "support/MessageBox.h"
#include "support/Text.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace modPub;
using support::MessageBoxRecorder;
using support::MsgIcon;

namespace {

// Runs the action once the login dialog is open, then returns when it has closed.
void whileShown(const std::function<void(QDialog*)>& action)
{
    QTimer::singleShot(0, [action] {
        QDialog* dialog = frmLogin().window();
        QVERIFY(dialog);
        QApplication::setActiveWindow(dialog);
        action(dialog);
        if (frmLogin().window())
            frmLogin().window()->reject();
    });
    frmLogin().Show();
}

template <typename T> T* control(QDialog* dialog, const char* name)
{
    auto* widget = dialog->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("control %s missing", name);
    return widget;
}

void logIn(QDialog* dialog, const QString& user, const QString& password)
{
    control<QLineEdit>(dialog, "txtUserName")->setText(user);
    control<QLineEdit>(dialog, "txtPassword")->setText(password);
    QTest::mouseClick(control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        frmLogin().LoginSucceeded = false;
        FailXMLObjectCreationForTesting(false);
    }

    void controlsAsLaidOut()
    {
        whileShown([](QDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("登录"));
            QCOMPARE(control<QPushButton>(dialog, "cmdOK")->text(), QStringLiteral("登录"));
            QVERIFY(control<QPushButton>(dialog, "cmdOK")->isDefault());
            QCOMPARE(control<QPushButton>(dialog, "cmdCancel")->text(), QStringLiteral("退出"));
            QCOMPARE(control<QLabel>(dialog, "lblLabels0")->text(), QStringLiteral("用户名："));
            QCOMPARE(control<QLabel>(dialog, "lblLabels1")->text(), QStringLiteral("口  令："));
            QCOMPARE(control<QLineEdit>(dialog, "txtPassword")->echoMode(), QLineEdit::Password);
            QVERIFY(control<QLineEdit>(dialog, "txtUserName")->hasFocus());
            const QString tip = control<QPlainTextEdit>(dialog, "txtTip")->toPlainText();
            QCOMPARE(tip.count(u'\n'), 10);
            QVERIFY(tip.startsWith(QStringLiteral("说明：\n    本导入程序")));
        });
        QCOMPARE(FrmLogin::TipText().count(QStringLiteral("\r\n")), 10);
        QVERIFY(FrmLogin::TipText().endsWith(QStringLiteral("组管理。\r\n")));
    }

    void userNameOfSpacesAsksForIt()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        gPassword = QStringLiteral("kept");
        whileShown([](QDialog* dialog) {
            logIn(dialog, QStringLiteral("   "), QStringLiteral("secret"));
            QVERIFY(control<QLineEdit>(dialog, "txtUserName")->hasFocus());
            QVERIFY(frmLogin().window());
        });
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("请输入用户名！")});
        QCOMPARE(boxes.records().first().icon, MsgIcon::Information);
        QVERIFY(server.targets().isEmpty());
        QCOMPARE(gPassword, QStringLiteral("kept"));
        QVERIFY(!frmLogin().LoginSucceeded);
    }

    void requestCarriesEncodedCredentials_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("target");
        QTest::newRow("trimmed user, password kept with its spaces")
            << " 张三 " << " a&b " << "/Login.asp?UserName=%D5%C5%C8%FD&Password=%20a%26b%20";
        QTest::newRow("empty password") << "demo" << "" << "/Login.asp?UserName=demo&Password=";
        QTest::newRow("at sign passes, dot does not") << "a@b.c" << "1-2" << "/Login.asp?UserName=a@b%2Ec&Password=1%2D2";
    }
    void requestCarriesEncodedCredentials()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, target);
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0", "ok"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([&](QDialog* dialog) { logIn(dialog, user, password); });
        QCOMPARE(server.targets(), QStringList{target});
        QCOMPARE(gUserName, support::TrimSpaces(user));
        QCOMPARE(gPassword, password);
        QVERIFY(frmLogin().LoginSucceeded);
        QVERIFY(boxes.records().isEmpty());
    }

    void replyStatus_data()
    {
        QTest::addColumn<QStringList>("children");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        QTest::newRow("accepted") << QStringList{"0", "登录成功"} << true << "";
        QTest::newRow("accepted without reason child") << QStringList{"0"} << true << "";
        QTest::newRow("refused with reason") << QStringList{"1", "用户名或密码错误"} << false << "登录失败！用户名或密码错误";
        QTest::newRow("refused without reason child") << QStringList{"1"} << false << "登录失败！";
        QTest::newRow("status with leading space") << QStringList{" 0", "x"} << false << "登录失败！x";
        QTest::newRow("status 00") << QStringList{"00", "x"} << false << "登录失败！x";
        QTest::newRow("empty status") << QStringList{QString(""), "x"} << false << "登录失败！x";
        QTest::newRow("no children at all") << QStringList{} << false << "登录失败！";
    }
    void replyStatus()
    {
        QFETCH(QStringList, children);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply(children)}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        bool stayedOpen = false;
        whileShown([&](QDialog* dialog) {
            logIn(dialog, QStringLiteral("demo"), QStringLiteral("pw"));
            stayedOpen = frmLogin().window() != nullptr && frmLogin().window()->isVisible();
        });
        QCOMPARE(frmLogin().LoginSucceeded, accepted);
        QCOMPARE(stayedOpen, !accepted);
        if (accepted) {
            QVERIFY(boxes.records().isEmpty());
        } else {
            QCOMPARE(boxes.texts(), QStringList{message});
            QCOMPARE(boxes.records().first().icon, MsgIcon::Critical);
        }
    }

    void failureSelectsUserNameAndNextTryUsesCurrentTexts()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"1", "no"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([](QDialog* dialog) {
            logIn(dialog, QStringLiteral("first"), QStringLiteral("p1"));
            auto* user = control<QLineEdit>(dialog, "txtUserName");
            QVERIFY(user->hasFocus());
            QCOMPARE(user->selectedText(), QStringLiteral("first"));
            QCOMPARE(control<QLineEdit>(dialog, "txtPassword")->text(), QStringLiteral("p1"));
            logIn(dialog, QStringLiteral("second"), QStringLiteral("p2"));
        });
        QCOMPARE(server.targets(), (QStringList{"/Login.asp?UserName=first&Password=p1",
                                                 "/Login.asp?UserName=second&Password=p2"}));
        QCOMPARE(boxes.records().size(), 2);
    }

    void unreachableServerShowsFailureAlone()
    {
        QString deadUrl;
        {
            ScriptedServer gone(ScriptedServer::always({}));
            deadUrl = gone.baseUrl();
        }
        SetBaseURL(deadUrl, nullptr);
        MessageBoxRecorder boxes;
        whileShown([](QDialog* dialog) { logIn(dialog, QStringLiteral("demo"), QStringLiteral("pw")); });
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("登录失败！")});
        QVERIFY(!frmLogin().LoginSucceeded);
    }

    void documentObjectFailureClosesDialog()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        FailXMLObjectCreationForTesting(true);
        MessageBoxRecorder boxes;
        bool closed = false;
        whileShown([&](QDialog* dialog) {
            logIn(dialog, QStringLiteral("demo"), QStringLiteral("pw"));
            closed = frmLogin().window() == nullptr || !frmLogin().window()->isVisible();
        });
        QVERIFY(closed);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("无法创建xml对象！")});
        QCOMPARE(boxes.records().first().icon, MsgIcon::Critical);
        QVERIFY(!frmLogin().LoginSucceeded);
        QVERIFY(server.targets().isEmpty());
    }

    void exitWaysEndWithoutMessage_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("exit button") << "button";
        QTest::newRow("close box") << "close";
    }
    void exitWaysEndWithoutMessage()
    {
        QFETCH(QString, way);
        MessageBoxRecorder boxes;
        bool closed = false;
        whileShown([&](QDialog* dialog) {
            if (way == QLatin1String("esc"))
                QTest::keyClick(control<QLineEdit>(dialog, "txtUserName"), Qt::Key_Escape);
            else if (way == QLatin1String("button"))
                QTest::mouseClick(control<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
            else
                dialog->close();
            closed = !frmLogin().window() || !frmLogin().window()->isVisible();
        });
        QVERIFY(closed);
        QVERIFY(!frmLogin().LoginSucceeded);
        QVERIFY(boxes.records().isEmpty());
    }

    void enterMovesOnThenLogsIn()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([&](QDialog* dialog) {
            auto* user = control<QLineEdit>(dialog, "txtUserName");
            auto* password = control<QLineEdit>(dialog, "txtPassword");
            user->setFocus();
            QTest::keyClicks(user, QStringLiteral("demo"));
            QTest::keyClick(user, Qt::Key_Return, Qt::ShiftModifier);
            QVERIFY(password->hasFocus());
            QVERIFY(server.targets().isEmpty());
            QTest::keyClicks(password, QStringLiteral("pw"));
            QTest::keyClick(password, Qt::Key_Return);
        });
        QCOMPARE(server.targets(), QStringList{QStringLiteral("/Login.asp?UserName=demo&Password=pw")});
        QVERIFY(frmLogin().LoginSucceeded);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
