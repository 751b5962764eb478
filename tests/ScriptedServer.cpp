#include "ScriptedServer.h"

#include "net/XMLDocument.h"

#include <httplib.h>

#include <mutex>
#include <thread>

struct ScriptedServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    QStringList targets;
};

ScriptedServer::ScriptedServer(Script script) : impl_(std::make_unique<Impl>())
{
    impl_->server.set_tcp_nodelay(true);
    impl_->server.Get(".*", [this, script](const httplib::Request& request, httplib::Response& response) {
        const QString target = QString::fromStdString(request.target);
        {
            std::lock_guard lock(impl_->mutex);
            impl_->targets.append(target);
        }
        const Reply reply = script(target);
        response.status = reply.status;
        response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
    });
    impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
    // The socket listens from the bind on, so clients can connect at once.
    impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
}

ScriptedServer::~ScriptedServer()
{
    // The tool's kept-alive connection would hold a server thread until its
    // keep-alive time-out; closing it lets the server stop at once.
    net::XMLDocument::resetSession();
    // stop() does nothing before the accept loop runs, so wait for it first.
    while (impl_->port > 0 && !impl_->server.is_running())
        std::this_thread::yield();
    impl_->server.stop();
    impl_->thread.join();
}

QString ScriptedServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(impl_->port);
}

QStringList ScriptedServer::targets() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->targets;
}

ScriptedServer::Script ScriptedServer::always(Reply reply)
{
    return [reply](const QString&) { return reply; };
}

QByteArray ScriptedServer::xmlReply(const QStringList& childTexts)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Result>";
    for (const QString& text : childTexts)
        body += text.isNull() ? QByteArray("<Item/>") : "<Item>" + text.toHtmlEscaped().toUtf8() + "</Item>";
    return body + "</Result>";
}
