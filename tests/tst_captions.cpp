// The windows as a desktop shows them: each window's caption and class as the
// X server holds them, where the window manager and the task bar read them,
// on a virtual screen of its own; and Qt's own texts in Chinese.
#include "ScriptedServer.h"
#include "app/StartUp.h"
#include "app/frmLogin.h"
#include "controls/ProgressBar.h"
#include "filedialog/FrmSelFile.h"
#include "import/frmImport.h"
#include "import/frmMain.h"
#include "platform/modPub.h"
#include "support/MessageBox.h"

#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace modPub;

namespace {

// Xvfb on the first free display, which it names on a pipe once it is ready.
class VirtualScreen {
public:
    bool start()
    {
        int ready[2];
        if (pipe(ready) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            // The screen goes with the test, also when the test is killed.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            // Xvfb tells of every display it finds taken; only the one it takes matters.
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c = 0;
        while (read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(ready[0]);
        display_ = ":" + number;
        return pid_ > 0 && !number.empty();
    }

    ~VirtualScreen()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

xcb_connection_t* connection()
{
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_atom_t atom(const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection(), xcb_intern_atom(connection(), 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

QByteArray property(const QWidget* window, const char* name)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection(),
        xcb_get_property(connection(), 0, xcb_window_t(window->winId()), atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    QByteArray value;
    if (reply)
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    free(reply);
    return value;
}

// The caption the window manager shows.
QString windowCaption(const QWidget* window)
{
    return QString::fromUtf8(property(window, "_NET_WM_NAME"));
}

// The class by which the desktop finds the window's desktop entry.
QString windowClass(const QWidget* window)
{
    const QList<QByteArray> parts = property(window, "WM_CLASS").split('\0');
    return parts.size() > 1 ? QString::fromLatin1(parts[1]) : QString();
}

QString desktopEntryClass()
{
    QFile entry(QStringLiteral(VELTRIN_TEST_DATA "/../../packaging/com.veltrin.ContactImport.desktop"));
    if (!entry.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : entry.readAll().split('\n'))
        if (line.startsWith("StartupWMClass="))
            return QString::fromUtf8(line.mid(15));
    return {};
}

QByteArray groupReply()
{
    return "<?xml version=\"1.0\"?><R><S>0</S><M/><L><G><I>1</I><N/><T>a</T></G></L></R>";
}

// No ASCII word left once the accelerators "(&X)" and the shortcuts after a
// tab are taken away: the text is in Chinese.
bool inChinese(QString text)
{
    text = text.section(QLatin1Char('\t'), 0, 0).remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    return !text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")));
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void captions_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("caption");
        QTest::newRow("login") << "login" << "登录";
        QTest::newRow("main") << "main" << "Veltrin联系人导入";
        QTest::newRow("file dialog") << "file dialog" << "请选择文件";
        QTest::newRow("import") << "import" << "正在导入客户资料，请稍候...";
        QTest::newRow("message box") << "message box" << "Veltrin联系人导入";
    }
    void captions()
    {
        QFETCH(QString, window);
        QFETCH(QString, caption);
        ScriptedServer server([](const QString& target) -> ScriptedServer::Reply {
            if (target.contains(QStringLiteral("LinkmanGroup")))
                return {200, groupReply()};
            return {200, ScriptedServer::xmlReply({"0"})};
        });
        SetBaseURL(server.baseUrl(), nullptr);
        QString seen;
        QString seenClass;
        const auto look = [&](QWidget* shown) {
            QVERIFY(shown);
            seen = windowCaption(shown);
            seenClass = windowClass(shown);
        };
        if (window == QLatin1String("login")) {
            QTimer::singleShot(0, [&] {
                look(frmLogin().window());
                frmLogin().window()->reject();
            });
            frmLogin().Show();
        } else if (window == QLatin1String("main")) {
            frmMain().Show();
            QTRY_VERIFY(frmMain().groupsLoaded());
            look(frmMain().window());
            frmMain().Unload();
        } else if (window == QLatin1String("file dialog")) {
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                look(dialog);
                dialog->reject();
            });
            filedialog::frmSelFile().SelectFile();
        } else if (window == QLatin1String("import")) {
            const contacts::NumberedContacts one =
                contacts::NumberedFromOne({{QStringLiteral("张三"), QStringLiteral("13812345678"), {}, {}}});
            gGroupID = QStringLiteral("1");
            support::MessageBoxRecorder boxes;
            QTimer::singleShot(0, [&] { look(frmImport().window()); });
            frmImport().Show(one, nullptr);
        } else {
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                look(box);
                box->accept();
            });
            support::MsgBox(QStringLiteral("客户资料导入完成！"), support::MsgIcon::Information);
        }
        QCOMPARE(seen, caption);
        QCOMPARE(seenClass, desktopEntryClass());
    }

    // Qt's own texts: the message box's details button, a text box's menu.
    void qtTextsInChinese()
    {
        QString detailsButton;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    detailsButton = button->text();
            box->accept();
        });
        support::MsgBox(QStringLiteral("客户资料导入完成！"), support::MsgIcon::Information, QStringLiteral("第1条"));
        QVERIFY(!detailsButton.isEmpty());
        QVERIFY2(inChinese(detailsButton), qPrintable(detailsButton));

        QLineEdit box;
        box.setText(QStringLiteral("张三"));
        const std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator())
                texts.append(action->text());
        QVERIFY(texts.size() >= 4);
        for (const QString& text : std::as_const(texts))
            QVERIFY2(inChinese(text), qPrintable(texts.join(QLatin1String(" | "))));
    }
};

int main(int argc, char** argv)
{
    VirtualScreen screen;
    if (!screen.start()) {
        std::fprintf(stderr, "tst_captions needs Xvfb (scripts/install-deps installs it)\n");
        return 1;
    }
    setenv("DISPLAY", screen.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    SetUpApplication();
    TestCaptions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_captions.moc"
