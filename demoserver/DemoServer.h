#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace demoserver {

struct Group {
    int id = 0;
    QString indent; // only its length matters to the tool
    QString name;
};

struct User {
    QString name;
    QString password;
    std::vector<Group> groups; // in the order the group list shows them
};

// A contact as stored from a new-contact request, its query values decoded.
struct Contact {
    QString name;
    QString mobile;
    QString tel;
    QString remark;
    friend bool operator==(const Contact&, const Contact&) = default;
};

enum class FailMode {
    None,
    Http500,         // answer with HTTP status 500
    Drop,            // close the connection without a complete reply
    Hang,            // hold the request unanswered until the plan is replaced or the server stops
    StoreThenDrop,   // act on the request, then close the connection without a complete reply
    StoreThenHttp500, // act on the request, then answer with HTTP status 500
    NoStatus,        // answer "<Result/>", a reply without a status, and act on nothing
};

// Decides the fate of each request. Requests are numbered from 1, counted from
// the moment the plan was set.
using FailurePlan = std::function<FailMode(int requestNumber)>;

FailurePlan failNth(int n, FailMode mode = FailMode::Http500);
// Fails about one request in n, drawn from a generator seeded with seed, so a
// run of requests fails at the same places every time.
FailurePlan failOneIn(int n, unsigned seed, FailMode mode = FailMode::Http500);
FailurePlan failAll(FailMode mode);

// demo / demo123 and 演示 / 123456, each with their own nested groups; two of
// demo's groups share a name under different parents.
std::vector<User> demoUsers();

// A stand-in platform server answering the login, group list and new-contact
// requests with GB2312-declared GBK replies. It keeps users, groups, received
// contacts and login sessions (a cookie set at login) in memory. Every member
// may be called from any thread while the server runs.
class DemoServer {
public:
    explicit DemoServer(std::vector<User> users = demoUsers());
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Listens on 127.0.0.1; port 0 picks a free port. False when the port
    // cannot be bound or the server already runs.
    bool start(int port = 0);
    // Releases held requests, closes the connections and waits for them. A
    // client that keeps an idle connection open delays this by up to a second;
    // net::XMLDocument::resetSession() beforehand closes such connections at once.
    void stop();
    int port() const;
    // "http://127.0.0.1:PORT/"
    QString baseUrl() const;

    // Replaces users and groups; received contacts and sessions are dropped.
    void setUsers(std::vector<User> users);
    // A delay before every answer.
    void setLatency(std::chrono::milliseconds latency);
    // Replaces the plan and releases the requests the previous one holds; an
    // empty plan fails nothing.
    void setFailurePlan(FailurePlan plan);

    // Every request target exactly as received (path and query, one character
    // per byte), in arrival order, failed ones included.
    QStringList requestLines() const;
    // The client's port of each logged request: equal ports mean one kept-alive connection.
    std::vector<int> clientPorts() const;
    void clearRequestLines();

    // The contacts stored in a group, in arrival order.
    std::vector<Contact> contacts(int groupId) const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace demoserver
