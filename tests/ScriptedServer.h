#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// A loopback HTTP server for tests that answers each request with a scripted
// reply and records every request target exactly as received.
class ScriptedServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/xml";
    };
    using Script = std::function<Reply(const QString& target)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // "http://127.0.0.1:PORT/"
    QString baseUrl() const;
    QStringList targets() const;

    // The same reply for every request.
    static Script always(Reply reply);
    // An XML reply of a root holding one element per text (null: an empty element).
    static QByteArray xmlReply(const QStringList& childTexts);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
