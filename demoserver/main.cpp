#include "demoserver/DemoServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

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

#ifdef _WIN32

HANDLE stopEvent = nullptr;

// Runs on a thread of its own that the system starts for the console event.
BOOL WINAPI onConsoleStop(DWORD)
{
    SetEvent(stopEvent);
    return TRUE;
}

class StopSignals {
public:
    StopSignals()
    {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleStop, TRUE);
    }
    void wait() const { WaitForSingleObject(stopEvent, INFINITE); }
};

#else

// The server's threads must not take SIGINT/SIGTERM: the main thread waits for them.
class StopSignals {
public:
    StopSignals()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
    void wait() const
    {
        int received = 0;
        sigwait(&set_, &received);
    }

private:
    sigset_t set_;
};

#endif

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

    const StopSignals stopSignals;
    const int port = intOption(parser, QStringLiteral("port"));
    if (!server.start(port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1 port %d\n", port);
        return 1;
    }
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    stopSignals.wait();
    server.stop();
    return 0;
}
