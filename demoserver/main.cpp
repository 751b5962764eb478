#include "demoserver/DemoServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <cstdlib>

namespace {

int intOption(const QCommandLineParser& parser, const QString& name)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 0) {
        std::fprintf(stderr, "--%s expects a whole number of at least 0\n", qPrintable(name));
        std::exit(2);
    }
    return value;
}

// The server's threads must not take SIGINT/SIGTERM: the main thread waits for them.
sigset_t blockStopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    return stopSet;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrin-demo-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A stand-in Veltrin platform server on 127.0.0.1 for demos, "
                                                    "tests and benchmarks. Users: demo / demo123, 演示 / 123456."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("N"),
         QStringLiteral("8086")},
        {QStringLiteral("latency-ms"), QStringLiteral("Delay before every answer."), QStringLiteral("N"),
         QStringLiteral("0")},
        {QStringLiteral("fail"), QStringLiteral("Answer the Nth request with HTTP 500."), QStringLiteral("N"),
         QStringLiteral("0")},
        {QStringLiteral("drop"), QStringLiteral("Drop the connection of the Nth request."), QStringLiteral("N"),
         QStringLiteral("0")},
        {QStringLiteral("hang"), QStringLiteral("Accept every request and never answer.")},
    });
    parser.process(app);

    const int failAt = intOption(parser, QStringLiteral("fail"));
    const int dropAt = intOption(parser, QStringLiteral("drop"));
    demoserver::DemoServer server;
    server.setLatency(std::chrono::milliseconds(intOption(parser, QStringLiteral("latency-ms"))));
    if (parser.isSet(QStringLiteral("hang")))
        server.setFailurePlan(demoserver::failAll(demoserver::FailMode::Hang));
    else if (failAt > 0 || dropAt > 0)
        server.setFailurePlan([failAt, dropAt](int n) {
            if (n == failAt)
                return demoserver::FailMode::Http500;
            return n == dropAt ? demoserver::FailMode::Drop : demoserver::FailMode::None;
        });

    const sigset_t stopSignals = blockStopSignals();
    const int port = intOption(parser, QStringLiteral("port"));
    if (!server.start(port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1 port %d\n", port);
        return 1;
    }
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
