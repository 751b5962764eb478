// Runs the whole import command (`veltrin-import import`, a process of its
// own from start to exit) on 10,000 contacts against the demo platform in this
// process, and sends the same 10,000 requests with a bare libcurl loop on one
// kept-alive connection, also a process of its own (this program with
// --plain-loop). Each round runs every way once, in an order that turns from
// round to round; the figure is the median over the rounds of the command's
// rate divided by the bare loop's in the same round (target at least 0.80),
// so that a change in the machine's load during the run favours neither.
// Also printed: the best rates, the command with a journal, and the bare loop
// run as a thread of this process, beside the server, which spares it the
// switches between processes that any program of its own pays.

#include "demoserver/DemoServer.h"
#include "import/FailuresFile.h"
#include "import/ImportRun.h"
#include "platform/modPub.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <vector>

using namespace modPub;

namespace {

constexpr int Contacts = 10000;
constexpr int Rounds = 7;
constexpr qint64 Failed = -1;

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

// The contacts as a failures file, which the command imports as it stands.
bool writeContactsFile(const QString& path, const contacts::LinkmanTable& table)
{
    QList<contacts::ImportFailure> rows;
    for (size_t k = 0; k < table.size(); ++k)
        rows.append({static_cast<int>(k + 1), table[k], QStringLiteral("待导入")});
    QFile file(path);
    const QByteArray csv = contacts::FailuresCsv(rows);
    return file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size();
}

// Nanoseconds from starting the program to its exit, or Failed.
qint64 timeProgram(const QString& program, const QStringList& arguments, const QString& password)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELTRIN_PASSWORD"), password);
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return Failed;
    return timer.nsecsElapsed();
}

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// The same requests with nothing but libcurl: the login for the session
// cookie, then one GET after the other on one easy handle. Exit status 0 when
// every request was answered.
int plainCurlLoop(const QString& baseUrl, const demoserver::User& user, const QString& groupId)
{
    SetBaseURL(baseUrl, nullptr);
    std::vector<QByteArray> urls;
    urls.reserve(Contacts);
    for (const contacts::Linkman& contact : contactTable())
        urls.push_back(contacts::NewContactURL(groupId, contact).toLatin1());
    const QByteArray loginUrl = LoginURL(user.name, user.password).toLatin1();

    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(curl, CURLOPT_URL, loginUrl.constData());
    curl_easy_perform(curl);
    int answered = 0;
    long status = 0;
    for (const QByteArray& url : urls) {
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        if (curl_easy_perform(curl) == CURLE_OK && curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK
            && status == 200)
            ++answered;
    }
    curl_easy_cleanup(curl);
    return answered == Contacts ? 0 : 1;
}

double perSecond(qint64 nanoseconds)
{
    return Contacts / (static_cast<double>(nanoseconds) / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const demoserver::User user = demoserver::demoUsers().front();
    const int group = user.groups.front().id;
    const QString groupId = QString::number(group);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--plain-loop"))
        return plainCurlLoop(arguments[2], user, groupId);

    QTextStream out(stdout);
    demoserver::DemoServer server;
    QString reason;
    QTemporaryDir dir;
    if (!server.start() || !SetBaseURL(server.baseUrl(), &reason) || !dir.isValid()) {
        out << "cannot start the demo platform " << reason << Qt::endl;
        return 1;
    }
    const QString contactsFile = dir.filePath(QStringLiteral("contacts.csv"));
    if (!writeContactsFile(contactsFile, contactTable())) {
        out << "cannot write " << contactsFile << Qt::endl;
        return 1;
    }
    const QString command = QStringLiteral(VELTRIN_IMPORT_BINARY);
    const QStringList importArguments{QStringLiteral("import"),  contactsFile, QStringLiteral("--user"), user.name,
                                      QStringLiteral("--group"), groupId,      QStringLiteral("--base-url"),
                                      server.baseUrl()};
    const QStringList plainArguments{QStringLiteral("--plain-loop"), server.baseUrl()};

    enum Way { Command, Journaled, PlainProcess, PlainThread, Ways };
    // Nanoseconds of each way, one per round.
    std::array<std::vector<qint64>, Ways> times;
    const auto run = [&](Way way, int round) {
        // A fresh platform before each run, so every contact is new to the group.
        server.setUsers(demoserver::demoUsers());
        const QStringList journal{QStringLiteral("--journal"), dir.filePath(QStringLiteral("journal-%1").arg(round))};
        qint64 time = Failed;
        switch (way) {
        case Command:
            time = timeProgram(command, importArguments, user.password);
            break;
        case Journaled:
            time = timeProgram(command, importArguments + journal, user.password);
            break;
        case PlainProcess:
            time = timeProgram(QCoreApplication::applicationFilePath(), plainArguments, user.password);
            break;
        case PlainThread: {
            QElapsedTimer timer;
            timer.start();
            time = plainCurlLoop(server.baseUrl(), user, groupId) == 0 ? timer.nsecsElapsed() : Failed;
            break;
        }
        case Ways:
            break;
        }
        if (time == Failed || server.contacts(group).size() != static_cast<size_t>(Contacts)) {
            out << "way " << way << " did not import all " << Contacts << " contacts" << Qt::endl;
            return false;
        }
        times[way].push_back(time);
        return true;
    };
    for (int round = 0; round < Rounds; ++round)
        for (int step = 0; step < Ways; ++step)
            if (!run(static_cast<Way>((round + step) % Ways), round))
                return 1;
    server.stop();

    const auto best = [&](Way way) { return perSecond(*std::min_element(times[way].begin(), times[way].end())); };
    // The median over the rounds of way's rate divided by the other's in the same round.
    const auto ratio = [&](Way way, Way other) {
        std::vector<double> ratios;
        for (int round = 0; round < Rounds; ++round)
            ratios.push_back(static_cast<double>(times[other][round]) / static_cast<double>(times[way][round]));
        std::nth_element(ratios.begin(), ratios.begin() + Rounds / 2, ratios.end());
        return ratios[Rounds / 2];
    };
    const double figure = ratio(Command, PlainProcess);
    out << QStringLiteral("import command, whole process: %1 contacts/s at best; plain libcurl loop, whole process: "
                          "%2 requests/s at best")
               .arg(best(Command), 0, 'f', 0)
               .arg(best(PlainProcess), 0, 'f', 0)
        << Qt::endl;
    out << QStringLiteral("ratio, the median of %1 rounds: %2 (target >= 0.80: %3)")
               .arg(Rounds)
               .arg(figure, 0, 'f', 2)
               .arg(figure >= 0.8 ? QStringLiteral("ok") : QStringLiteral("MISSED"))
        << Qt::endl;
    out << QStringLiteral("with --journal: %1 contacts/s at best; ratio %2")
               .arg(best(Journaled), 0, 'f', 0)
               .arg(ratio(Journaled, PlainProcess), 0, 'f', 2)
        << Qt::endl;
    out << QStringLiteral("plain libcurl loop as a thread beside the server: %1 requests/s at best; the command's "
                          "ratio to it %2")
               .arg(best(PlainThread), 0, 'f', 0)
               .arg(ratio(Command, PlainThread), 0, 'f', 2)
        << Qt::endl;
    return figure >= 0.8 ? 0 : 1;
}
