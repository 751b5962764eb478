// Whatever goes wrong at the login, the group list or the import, the password
// appears in no message box, no line on stderr and no failure description.
#include "TestMain.h"
#include "ScriptedServer.h"
#include "app/frmLogin.h"
#include "platform/modPub.h"
#include "demoserver/DemoServer.h"
#include "import/ImportRun.h"
#include "import/frmMain.h"
#include "net/XMLDocument.h"
#include "support/MessageBox.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

#include <functional>

using namespace std::chrono_literals;
using demoserver::FailMode;

namespace {

// Distinctive, and changed by URL encoding, so the encoded form is looked for too.
const QString kPassword = QStringLiteral("Zq7Secret&秘=钥 9");

QStringList passwordForms()
{
    return {kPassword, modPub::URLEncode(kPassword), QStringLiteral("Zq7Secret")};
}

// The demo platform with one user whose password is kPassword.
std::vector<demoserver::User> platformUsers()
{
    std::vector<demoserver::User> users = demoserver::demoUsers();
    users.front().password = kPassword;
    return users;
}

// How a test breaks its server: before the login dialog, and again once the
// import run has logged in, so that its contact requests fail too.
struct Breakage {
    std::function<void()> breakServer = [] {};
    std::function<void()> repairServer = [] {};
};

// A reply that is no XML and quotes the request back, as a broken server page might.
ScriptedServer::Script echoingGarbage()
{
    return [](const QString& target) {
        return ScriptedServer::Reply{200, "<html><p>" + target.toUtf8() + "<br></html", "text/xml"};
    };
}

// Sends fd 2 into a file for as long as it lives.
class StderrCapture {
public:
    StderrCapture()
    {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

void logInThroughTheDialog(const QString& baseUrl)
{
    QVERIFY(modPub::SetBaseURL(baseUrl, nullptr));
    QTimer::singleShot(0, [] {
        QDialog* dialog = frmLogin().window();
        QVERIFY(dialog);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(QStringLiteral("demo"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(kPassword);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        if (frmLogin().window())
            frmLogin().window()->reject();
    });
    frmLogin().Show();
}

void loadGroupsInTheMainWindow(const QString& baseUrl)
{
    QVERIFY(modPub::SetBaseURL(baseUrl, nullptr));
    frmMain().Show();
    QTRY_VERIFY(frmMain().groupsLoaded());
    if (frmMain().window())
        frmMain().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList importTexts(const QString& baseUrl, const Breakage& breakage = {})
{
    modPub::SetBaseURL(baseUrl, nullptr);
    modPub::gUserName = QStringLiteral("demo");
    modPub::gPassword = kPassword;
    const contacts::LinkmanTable table{{QStringLiteral("张三"), QStringLiteral("13812345678"), {}, kPassword},
                                       {QStringLiteral("李四"), QStringLiteral("13912345678"), {}, {}}};
    net::XMLDocument document;
    contacts::ImportHooks hooks;
    hooks.beforeContact = breakage.breakServer;
    hooks.requestFailed = [](const contacts::ImportFailure&, int attempt) {
        return attempt < 2 ? contacts::FailureAction::Retry : contacts::FailureAction::Skip;
    };
    breakage.repairServer();
    const contacts::ImportSummary summary =
        contacts::RunImport(document, contacts::NumberedFromOne(table), QStringLiteral("1"), hooks);
    QStringList texts{summary.stopReason, contacts::CountsLine(summary)};
    for (const contacts::ImportFailure& failure : summary.failures) {
        // The contact's own remark holds the password text on purpose; only what
        // the tool adds, the reason, is checked.
        texts << failure.reason;
    }
    return texts;
}

} // namespace

class TestSecrets : public QObject {
    Q_OBJECT

    QTemporaryDir config; // for the user name the login dialog remembers

private:
    // Runs every failing conversation against the server at baseUrl and
    // returns every text the user or a log could see.
    QStringList everythingShown(const QString& baseUrl, const Breakage& breakage = {})
    {
        support::MessageBoxRecorder boxes;
        StderrCapture capture;
        breakage.breakServer();
        logInThroughTheDialog(baseUrl);
        loadGroupsInTheMainWindow(baseUrl);
        QStringList texts = importTexts(baseUrl, breakage);
        net::XMLDocument::resetSession();
        for (const support::MessageRecord& box : boxes.records())
            texts << box.text << box.detailedText << box.title;
        texts << capture.text();
        return texts;
    }

    static void expectNoPassword(const QStringList& texts)
    {
        for (const QString& text : texts)
            for (const QString& form : passwordForms())
                QVERIFY2(!text.contains(form), qPrintable(text));
    }

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config.path().toUtf8()); }

    void init()
    {
        net::XMLDocument::setLimits({});
        net::XMLDocument::resetSession();
    }

    void cleanupTestCase()
    {
        net::XMLDocument::setLimits({});
        net::XMLDocument::resetSession();
    }

    void demoPlatformFailures_data()
    {
        QTest::addColumn<bool>("wrongPassword");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("shows");
        const QString loginFailed = QStringLiteral("登录失败！");
        const QString groupsFailed = QStringLiteral("加载联系人分组列表失败！");
        QTest::newRow("login refused") << true << int(FailMode::None) << QStringList{loginFailed, groupsFailed};
        QTest::newRow("HTTP 500") << false << int(FailMode::Http500)
                                  << QStringList{loginFailed, groupsFailed, QStringLiteral("HTTP 500")};
        QTest::newRow("connection dropped") << false << int(FailMode::Drop)
                                            << QStringList{loginFailed, groupsFailed, QStringLiteral("通信失败")};
        QTest::newRow("time-out") << false << int(FailMode::Hang)
                                  << QStringList{loginFailed, groupsFailed, QStringLiteral("秒内没有回复完毕")};
        QTest::newRow("contacts refused as duplicates") << false << int(FailMode::None)
                                                        << QStringList{QStringLiteral("手机号码已存在")};
    }
    void demoPlatformFailures()
    {
        QFETCH(bool, wrongPassword);
        QFETCH(int, mode);
        QFETCH(QStringList, shows);
        net::LoadLimits limits;
        limits.requestTimeout = 500ms;
        net::XMLDocument::setLimits(limits);
        std::vector<demoserver::User> users = platformUsers();
        if (wrongPassword)
            users.front().password = QStringLiteral("another");
        demoserver::DemoServer platform(users);
        QVERIFY(platform.start());
        QStringList texts;
        if (QTest::currentDataTag() == QLatin1String("contacts refused as duplicates")) {
            importTexts(platform.baseUrl()); // the first run stores both contacts
            texts = everythingShown(platform.baseUrl());
        } else {
            Breakage breakage;
            breakage.breakServer = [&] { platform.setFailurePlan(demoserver::failAll(static_cast<FailMode>(mode))); };
            breakage.repairServer = [&] { platform.setFailurePlan({}); };
            texts = everythingShown(platform.baseUrl(), breakage);
        }
        platform.stop();
        for (const QString& failure : shows)
            QVERIFY2(texts.join(QString()).contains(failure), qPrintable(failure));
        expectNoPassword(texts);
    }

    void replyThatIsNoXml()
    {
        const ScriptedServer server(echoingGarbage());
        const QStringList texts = everythingShown(server.baseUrl());
        QVERIFY(texts.join(QString()).contains(QStringLiteral("不是有效的 XML")));
        QVERIFY(texts.join(QString()).contains(QStringLiteral("登录失败！\n")));
        expectNoPassword(texts);
    }

    void serverThatCannotBeReached()
    {
        QString baseUrl;
        {
            const ScriptedServer gone(ScriptedServer::always({}));
            baseUrl = gone.baseUrl();
        }
        const QStringList texts = everythingShown(baseUrl);
        QVERIFY(texts.join(QString()).contains(QStringLiteral("无法连接")));
        QVERIFY(texts.join(QString()).contains(QStringLiteral("加载联系人分组列表失败！\n")));
        expectNoPassword(texts);
    }
};

VELTRIN_TEST_MAIN(TestSecrets)
#include "tst_secrets.moc"
