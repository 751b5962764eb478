// Imports 10,000 contacts into the in-process demo platform through the
// import run with the import window's hooks (events processed before each
// contact, the progress bar advanced after it), and sends the same 10,000
// requests with a plain libcurl loop on one kept-alive connection, three times
// each in turn. Prints both best rates, their ratio (target at least 0.80)
// and the share of the run spent in the hooks (target at most 1/5).

#include "platform/modPub.h"
#include "controls/ProgressBar.h"
#include "demoserver/DemoServer.h"
#include "import/ImportRun.h"
#include "net/XMLDocument.h"
#include "support/Keys.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTextStream>

#include <curl/curl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

using namespace modPub;

namespace {

constexpr int Contacts = 10000;
// Both ways run this many times in turn and the best of each counts, so a
// change in the machine's load during the run favours neither.
constexpr int Rounds = 3;

contacts::LinkmanTable contactTable()
{
    contacts::LinkmanTable table;
    table.reserve(Contacts);
    for (int i = 0; i < Contacts; ++i) {
        table.push_back({QStringLiteral("客户%1").arg(i), QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')),
                         QStringLiteral("010-6%1").arg(i, 7, 10, QLatin1Char('0')),
                         QStringLiteral("第%1组 备注").arg(i % 97)});
    }
    return table;
}

struct ImportTimes {
    qint64 total = 0;
    qint64 hooks = 0;
    int accepted = 0;
};

// The import window's part of a run, with the time spent in it counted.
ImportTimes importLikeTheWindow(const contacts::LinkmanTable& table, const QString& groupId)
{
    QDialog window;
    controls::ProgressBar* prg = controls::LoadImportWindowProgressBar(&window);
    prg->SetMax(static_cast<int32_t>(table.size()));
    window.show();
    QApplication::processEvents();

    ImportTimes times;
    QElapsedTimer hookTimer;
    contacts::ImportHooks hooks;
    hooks.beforeContact = [&] {
        hookTimer.start();
        support::DoEvents();
        times.hooks += hookTimer.nsecsElapsed();
    };
    hooks.contactDone = [&](const contacts::ImportSummary&) {
        hookTimer.start();
        prg->SetValue(prg->Value() + 1);
        times.hooks += hookTimer.nsecsElapsed();
    };

    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document))
        return times;
    QElapsedTimer timer;
    timer.start();
    const contacts::ImportSummary summary = contacts::RunImport(*document, table, groupId, hooks);
    times.total = timer.nsecsElapsed();
    times.accepted = summary.accepted;
    return times;
}

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// The same requests with nothing but libcurl: the login for the session
// cookie, then one GET after the other on one easy handle.
qint64 plainCurlLoop(const QString& loginUrl, const std::vector<QByteArray>& urls, int* answered)
{
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    long status = 0;
    curl_easy_setopt(curl, CURLOPT_URL, loginUrl.toLatin1().constData());
    curl_easy_perform(curl);
    *answered = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray& url : urls) {
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        if (curl_easy_perform(curl) == CURLE_OK && curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK
            && status == 200)
            ++*answered;
    }
    const qint64 elapsed = timer.nsecsElapsed();
    curl_easy_cleanup(curl);
    return elapsed;
}

double perSecond(int count, qint64 nanoseconds)
{
    return count / (static_cast<double>(nanoseconds) / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    demoserver::DemoServer server;
    QString reason;
    if (!server.start() || !SetBaseURL(server.baseUrl(), &reason)) {
        out << "cannot start the demo platform " << reason << Qt::endl;
        return 1;
    }
    const demoserver::User user = demoserver::demoUsers().front();
    gUserName = user.name;
    gPassword = user.password;
    const QString groupId = QString::number(user.groups.front().id);
    const contacts::LinkmanTable table = contactTable();

    std::vector<QByteArray> urls;
    urls.reserve(table.size());
    for (const contacts::Linkman& contact : table)
        urls.push_back(contacts::NewContactURL(groupId, contact).toLatin1());

    ImportTimes ours;
    qint64 plain = std::numeric_limits<qint64>::max();
    for (int round = 0; round < Rounds; ++round) {
        // A fresh platform each time, so every contact is new to the group.
        server.setUsers(demoserver::demoUsers());
        const ImportTimes run = importLikeTheWindow(table, groupId);
        if (run.accepted != Contacts) {
            out << "the import run got " << run.accepted << " of " << Contacts << " contacts accepted" << Qt::endl;
            return 1;
        }
        if (round == 0 || run.total < ours.total)
            ours = run;

        server.setUsers(demoserver::demoUsers());
        int answered = 0;
        plain = std::min(plain, plainCurlLoop(LoginURL(gUserName, gPassword), urls, &answered));
        if (answered != Contacts
            || server.contacts(user.groups.front().id).size() != static_cast<size_t>(Contacts)) {
            out << "the plain loop got " << answered << " of " << Contacts << " requests answered" << Qt::endl;
            return 1;
        }
    }

    const double ourRate = perSecond(Contacts, ours.total);
    const double plainRate = perSecond(Contacts, plain);
    const double ratio = ourRate / plainRate;
    const double hookShare = static_cast<double>(ours.hooks) / static_cast<double>(ours.total);
    const auto verdict = [](bool ok) { return ok ? QStringLiteral("ok") : QStringLiteral("MISSED"); };
    out << QStringLiteral("import run: %1 contacts/s; plain libcurl loop: %2 requests/s; ratio %3 (target >= 0.80: %4)")
               .arg(ourRate, 0, 'f', 0)
               .arg(plainRate, 0, 'f', 0)
               .arg(ratio, 0, 'f', 2)
               .arg(verdict(ratio >= 0.8))
        << Qt::endl;
    out << QStringLiteral("events and progress bar: %1 of the run (target <= 0.20: %2)")
               .arg(hookShare, 0, 'f', 3)
               .arg(verdict(hookShare <= 0.2))
        << Qt::endl;
    server.stop();
    return ratio >= 0.8 && hookShare <= 0.2 ? 0 : 1;
}
