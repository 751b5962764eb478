#include "TestMain.h"
#include "ScriptedServer.h"
#include "app/frmLogin.h"
#include "platform/Settings.h"
#include "platform/modPub.h"
#include "support/MessageBox.h"
#include "support/Text.h"

#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

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

// Runs look on the next message box once it is shown: the login's waits
// between the click and its message box take their own turns of the loop.
void onNextMessageBox(const std::function<void(QMessageBox*)>& look)
{
    struct Watcher : QObject {
        std::function<void(QMessageBox*)> look;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* box = qobject_cast<QMessageBox*>(watched);
            if (event->type() == QEvent::Show && box) {
                qApp->removeEventFilter(this);
                deleteLater();
                QTimer::singleShot(0, box, [look = look, box] { look(box); });
            }
            return false;
        }
    };
    auto* watcher = new Watcher;
    watcher->look = look;
    qApp->installEventFilter(watcher);
}

// Answers the address dialogs that open from now on, one typed text each; a
// null text cancels.
void answerAddressDialogs(const QStringList& answers)
{
    auto* poll = new QTimer;
    auto remaining = std::make_shared<QStringList>(answers);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, remaining] {
        auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!input)
            return;
        const QString answer = remaining->takeFirst();
        if (answer.isNull()) {
            input->reject();
        } else {
            input->setTextValue(answer);
            input->accept();
        }
        if (remaining->isEmpty())
            poll->deleteLater();
    });
    poll->start(0);
}

} // namespace

class TestLogin : public QObject {
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
        frmLogin().LoginSucceeded = false;
        FailXMLObjectCreationForTesting(false);
        QFile::remove(settings::UserFile());
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
            QCOMPARE(control<QLineEdit>(dialog, "txtUserName")->text(), QString());
            QCOMPARE(control<QPushButton>(dialog, "cmdServer")->text(), QStringLiteral("服务器…"));
            const QString tip = control<QTextEdit>(dialog, "txtTip")->toPlainText();
            QCOMPARE(tip.split(u'\n').size(), 10);
            QVERIFY(tip.startsWith(QStringLiteral("说明：\n    本导入程序")));
            QVERIFY(tip.endsWith(QStringLiteral("组管理。")));
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

    // Without an answer of the platform's own, the second line says what failed.
    void failureWithoutAnswerSaysWhy_data()
    {
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("why");
        QTest::newRow("unreachable") << 0 << QByteArray() << "无法连接服务器 %1";
        QTest::newRow("HTTP error") << 500 << QByteArray("oops") << "服务器 %1 返回了错误（HTTP 500）";
        QTest::newRow("not XML") << 200 << QByteArray("<html>") << "服务器 %1 的回复不是有效的 XML";
        QTest::newRow("no status") << 200 << ScriptedServer::xmlReply({}) << "第 1 个子节点不存在";
    }
    void failureWithoutAnswerSaysWhy()
    {
        QFETCH(int, httpStatus);
        QFETCH(QByteArray, body);
        QFETCH(QString, why);
        std::optional<ScriptedServer> server(ScriptedServer::always({httpStatus, body}));
        const QString url = server->baseUrl();
        if (httpStatus == 0)
            server.reset();
        SetBaseURL(url, nullptr);
        MessageBoxRecorder boxes;
        whileShown([](QDialog* dialog) { logIn(dialog, QStringLiteral("demo"), QStringLiteral("Pw&秘密")); });
        QCOMPARE(boxes.texts().size(), 1);
        const QString text = boxes.texts().first();
        QVERIFY2(text.startsWith(QStringLiteral("登录失败！\n")), qPrintable(text));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(QUrl(url).port());
        QVERIFY2(text.contains(why.arg(host)), qPrintable(text));
        for (const QString& secret : {QStringLiteral("Login.asp"), QStringLiteral("Pw&秘密"), URLEncode(QStringLiteral("Pw&秘密"))})
            QVERIFY2(!text.contains(secret), qPrintable(text));
        QVERIFY(!frmLogin().LoginSucceeded);
    }

    // The reason comes from the server: markup in it is shown as typed, in a
    // real message box, never followed.
    void markupInReasonShownAsText()
    {
        const QString reason = QStringLiteral("<b>账号已停用</b><img src=\"file:///etc/hostname\">");
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"1", reason})}));
        SetBaseURL(server.baseUrl(), nullptr);
        Qt::TextFormat format = Qt::RichText;
        QString shown;
        whileShown([&](QDialog* dialog) {
            onNextMessageBox([&](QMessageBox* box) {
                auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                QVERIFY(label);
                format = label->textFormat();
                shown = label->text();
                box->accept();
            });
            logIn(dialog, QStringLiteral("demo"), QStringLiteral("pw"));
        });
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, QStringLiteral("登录失败！") + reason);
    }

    void rememberedUserNameLeavesThePassword()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([](QDialog* dialog) { logIn(dialog, QStringLiteral(" 张三 "), QStringLiteral("Pw秘密")); });
        QVERIFY(frmLogin().LoginSucceeded);
        QCOMPARE(settings::LastUserName(), QStringLiteral("张三"));
        QFile file(settings::UserFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY(!stored.contains("Pw"));
        QVERIFY(!QString::fromUtf8(stored).contains(QStringLiteral("秘密")));

        whileShown([](QDialog* dialog) {
            QCOMPARE(control<QLineEdit>(dialog, "txtUserName")->text(), QStringLiteral("张三"));
            QCOMPARE(control<QLineEdit>(dialog, "txtPassword")->text(), QString());
            QVERIFY(control<QLineEdit>(dialog, "txtPassword")->hasFocus());
        });
    }

    void refusedLoginIsNotRemembered()
    {
        settings::RememberUserName(QStringLiteral("earlier"));
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"1", "no"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([](QDialog* dialog) { logIn(dialog, QStringLiteral("later"), QStringLiteral("pw")); });
        QCOMPARE(settings::LastUserName(), QStringLiteral("earlier"));
    }

    // An unusable address is refused with the reason and asked for again; a
    // missing final "/" is added; the address is used at once and saved.
    void serverButtonChangesTheAddress()
    {
        ScriptedServer first(ScriptedServer::always({200, ScriptedServer::xmlReply({"1", "first"})}));
        ScriptedServer second(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(first.baseUrl(), nullptr);
        const QString secondTyped = second.baseUrl().chopped(1);
        MessageBoxRecorder boxes;
        QString shownBefore;
        QString shownAfter;
        whileShown([&](QDialog* dialog) {
            shownBefore = control<QLabel>(dialog, "lblServer")->text();
            answerAddressDialogs({QStringLiteral("ftp://x/"), secondTyped});
            QTest::mouseClick(control<QPushButton>(dialog, "cmdServer"), Qt::LeftButton);
            shownAfter = control<QLabel>(dialog, "lblServer")->text();
            logIn(dialog, QStringLiteral("demo"), QStringLiteral("pw"));
        });
        QCOMPARE(shownBefore, QStringLiteral("服务器：127.0.0.1:%1").arg(QUrl(first.baseUrl()).port()));
        QCOMPARE(shownAfter, QStringLiteral("服务器：127.0.0.1:%1").arg(QUrl(second.baseUrl()).port()));
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("服务器地址无效：只支持http或https网址。")});
        QCOMPARE(BaseURL(), second.baseUrl());
        QVERIFY(first.targets().isEmpty());
        QCOMPARE(second.targets().size(), 1);
        QVERIFY(frmLogin().LoginSucceeded);
        QCOMPARE(settings::AddressSettings().first().value, second.baseUrl());
    }

    void cancelledAddressChangesNothing()
    {
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        whileShown([&](QDialog* dialog) {
            answerAddressDialogs({QString()});
            QTest::mouseClick(control<QPushButton>(dialog, "cmdServer"), Qt::LeftButton);
        });
        QCOMPARE(BaseURL(), server.baseUrl());
        QVERIFY(!QFile::exists(settings::UserFile()));
        QVERIFY(boxes.records().isEmpty());
    }

    void tipFitsItsBox()
    {
        whileShown([](QDialog* dialog) {
            auto* tip = control<QTextEdit>(dialog, "txtTip");
            QCOMPARE(tip->verticalScrollBar()->maximum(), 0);
            QVERIFY(tip->document()->size().height() <= tip->viewport()->height());
            QVERIFY(tip->document()->idealWidth() <= tip->viewport()->width());
            QCOMPARE(tip->document()->blockCount(), 10);
            const QTextBlock last = tip->document()->lastBlock();
            const QRectF lastLine = tip->document()->documentLayout()->blockBoundingRect(last);
            QVERIFY(lastLine.bottom() <= tip->viewport()->height());
        });
    }

    void tabOrder()
    {
        whileShown([](QDialog*) {
            QStringList visited;
            for (int i = 0; i < 6; ++i) {
                visited.append(QApplication::focusWidget()->objectName());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QCOMPARE(visited, (QStringList{"txtUserName", "txtPassword", "cmdOK", "cmdCancel", "cmdServer",
                                           "txtUserName"}));
        });
    }

    // Enter on a focused button presses that button, not the default one.
    void enterOnFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("登录") << "cmdOK";
        QTest::newRow("退出") << "cmdCancel";
        QTest::newRow("服务器…") << "cmdServer";
    }
    void enterOnFocusedButton()
    {
        QFETCH(QString, button);
        ScriptedServer server(ScriptedServer::always({200, ScriptedServer::xmlReply({"0"})}));
        SetBaseURL(server.baseUrl(), nullptr);
        MessageBoxRecorder boxes;
        bool closed = false;
        bool askedForAddress = false;
        whileShown([&](QDialog* dialog) {
            control<QLineEdit>(dialog, "txtUserName")->setText(QStringLiteral("demo"));
            auto* target = dialog->findChild<QPushButton*>(button);
            target->setFocus();
            QCOMPARE(QApplication::focusWidget(), target);
            QTimer::singleShot(0, [&] {
                if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                    askedForAddress = true;
                    input->reject();
                }
            });
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCoreApplication::processEvents();
            closed = !frmLogin().window() || !frmLogin().window()->isVisible();
        });
        QCOMPARE(server.targets().size(), button == QLatin1String("cmdOK") ? 1 : 0);
        QCOMPARE(frmLogin().LoginSucceeded, button == QLatin1String("cmdOK"));
        QCOMPARE(closed, button != QLatin1String("cmdServer"));
        QCOMPARE(askedForAddress, button == QLatin1String("cmdServer"));
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

VELTRIN_TEST_MAIN(TestLogin)
#include "tst_login.moc"
