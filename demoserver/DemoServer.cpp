#include "demoserver/DemoServer.h"

#include "support/CodePage.h"

#include <httplib.h>

#include <QByteArray>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace demoserver {

FailurePlan failNth(int n, FailMode mode)
{
    return [n, mode](int requestNumber) { return requestNumber == n ? mode : FailMode::None; };
}

FailurePlan failOneIn(int n, unsigned seed, FailMode mode)
{
    auto generator = std::make_shared<std::mt19937>(seed);
    return [n, mode, generator](int) {
        std::uniform_int_distribution<int> draw(1, n);
        return draw(*generator) == 1 ? mode : FailMode::None;
    };
}

FailurePlan failAll(FailMode mode)
{
    return [mode](int) { return mode; };
}

std::vector<User> demoUsers()
{
    const QString level1 = QStringLiteral("\u3000");
    const QString level2 = QStringLiteral("\u3000\u3000");
    return {
        {QStringLiteral("demo"),
         QStringLiteral("demo123"),
         {{1, QString(), QStringLiteral("全部客户")},
          {2, level1, QStringLiteral("重要客户")},
          {3, level2, QStringLiteral("华东区")},
          {4, level1, QStringLiteral("普通客户")},
          {5, QString(), QStringLiteral("供应商")},
          {6, level1, QStringLiteral("普通客户")}}},
        {QStringLiteral("演示"),
         QStringLiteral("123456"),
         {{11, QString(), QStringLiteral("默认分组")},
          {12, QStringLiteral("--"), QStringLiteral("朋友")},
          {13, QStringLiteral("--"), QStringLiteral("同事")}}},
    };
}

namespace {

constexpr char kSessionCookie[] = "VeltrinSession";

// The platform decodes query values the way ASP does: "+" is a space, %XX a
// byte, and the bytes are GBK.
QString decodeQueryValue(QByteArray bytes)
{
    return support::FromGbk(QByteArray::fromPercentEncoding(bytes.replace('+', ' ')));
}

struct Query {
    QString path; // lower case: the platform's paths ignore case
    QMap<QString, QString> values; // keyed by lower-case name; the first occurrence counts

    QString value(const QString& name) const { return values.value(name); }
};

// httplib decodes the target as UTF-8; the platform's clients send GBK, so the
// raw target is taken apart here.
Query parseTarget(const std::string& target)
{
    const QByteArray raw = QByteArray::fromStdString(target);
    const qsizetype mark = raw.indexOf('?');
    Query query;
    query.path = QString::fromLatin1(mark < 0 ? raw : raw.left(mark)).toLower();
    if (mark < 0)
        return query;
    for (const QByteArray& pair : raw.mid(mark + 1).split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QString name = decodeQueryValue(equals < 0 ? pair : pair.left(equals)).toLower();
        if (!query.values.contains(name))
            query.values.insert(name, equals < 0 ? QString() : decodeQueryValue(pair.mid(equals + 1)));
    }
    return query;
}

std::string sessionIdOf(const httplib::Request& request)
{
    const QByteArray prefix = QByteArray(kSessionCookie) + '=';
    for (size_t i = 0; i < request.get_header_value_count("Cookie"); ++i)
        for (const QByteArray& cookie : QByteArray::fromStdString(request.get_header_value("Cookie", i)).split(';'))
            if (cookie.trimmed().startsWith(prefix))
                return cookie.trimmed().mid(prefix.size()).toStdString();
    return {};
}

std::string newSessionId()
{
    std::random_device random;
    std::string id;
    for (int i = 0; i < 4; ++i)
        id += QByteArray::number(random(), 16).rightJustified(8, '0').toStdString();
    return id;
}

QString element(const char* name, const QString& text)
{
    const QString tag = QString::fromLatin1(name);
    if (text.isEmpty())
        return QStringLiteral("<%1/>").arg(tag);
    return QStringLiteral("<%1>%2</%1>").arg(tag, text.toHtmlEscaped());
}

QString result(const QString& status, const QString& message, const QString& list = {})
{
    return QStringLiteral("<Result>") + element("Status", status) + element("Msg", message) + list
           + QStringLiteral("</Result>");
}

QString notLoggedIn()
{
    return result(QStringLiteral("-1"), QStringLiteral("未登录"));
}

QString unsupportedAction()
{
    return result(QStringLiteral("1"), QStringLiteral("不支持的操作"));
}

void sendXml(httplib::Response& response, const QString& xml)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n" + support::ToGbk(xml);
    response.set_content(body.constData(), static_cast<size_t>(body.size()), "text/xml; charset=GB2312");
}

void serverError(httplib::Response& response)
{
    response.headers.erase("Content-Type");
    response.status = 500;
    response.set_content("Internal Server Error", "text/plain");
}

// httplib closes the connection when a content provider gives up, after the
// status line and headers: the client sees a reply cut short.
void dropConnection(httplib::Response& response)
{
    // A body already set would be sent whole instead.
    response.body.clear();
    response.headers.erase("Content-Type");
    response.set_content_provider(1, "text/xml", [](size_t, size_t, httplib::DataSink&) { return false; });
}

} // namespace

class DemoServer::Impl {
public:
    explicit Impl(std::vector<User> initialUsers) : users(std::move(initialUsers))
    {
        http.set_tcp_nodelay(true); // otherwise every reply waits for the client's delayed ACK
        http.set_keep_alive_max_count(std::numeric_limits<int>::max());
        http.set_keep_alive_timeout(kKeepAliveSeconds);
        http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            handle(request, response);
            return httplib::Server::HandlerResponse::Handled;
        });
    }

    // An idle kept-alive connection holds a worker until this runs out, and
    // stop() waits for the workers.
    static constexpr time_t kKeepAliveSeconds = 1;

    httplib::Server http;
    std::thread listener;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable planReplaced;
    std::vector<User> users;
    std::map<std::string, QString> sessions; // session id -> user name
    std::map<int, std::vector<Contact>> contacts;
    // The mobile numbers stored in each group, so that telling a duplicate
    // costs the same in a group of a million contacts as in an empty one.
    std::map<int, QSet<QString>> mobiles;
    QStringList lines;
    std::vector<int> ports;
    FailurePlan plan;
    int plannedRequests = 0;
    unsigned planGeneration = 0;
    bool stopping = false;
    std::chrono::milliseconds latency{0};

    void handle(const httplib::Request& request, httplib::Response& response)
    {
        const auto [mode, generation, delay] = admit(request);
        if (delay.count() > 0)
            std::this_thread::sleep_for(delay);
        switch (mode) {
        case FailMode::Hang:
            holdWhile(generation);
            dropConnection(response);
            return;
        case FailMode::Drop:
            dropConnection(response);
            return;
        case FailMode::Http500:
            serverError(response);
            return;
        case FailMode::NoStatus:
            sendXml(response, QStringLiteral("<Result/>"));
            return;
        case FailMode::StoreThenDrop:
            answer(parseTarget(request.target), sessionIdOf(request), response);
            dropConnection(response);
            return;
        case FailMode::StoreThenHttp500:
            answer(parseTarget(request.target), sessionIdOf(request), response);
            serverError(response);
            return;
        case FailMode::None:
            break;
        }
        answer(parseTarget(request.target), sessionIdOf(request), response);
    }

    struct Admission {
        FailMode mode;
        unsigned generation;
        std::chrono::milliseconds delay;
    };

    Admission admit(const httplib::Request& request)
    {
        const std::lock_guard guard(mutex);
        lines << QString::fromLatin1(request.target.data(), static_cast<qsizetype>(request.target.size()));
        ports.push_back(request.remote_port);
        const FailMode mode = plan ? plan(++plannedRequests) : FailMode::None;
        return {mode, planGeneration, latency};
    }

    void holdWhile(unsigned generation)
    {
        std::unique_lock lock(mutex);
        planReplaced.wait(lock, [&] { return stopping || planGeneration != generation; });
    }

    void answer(const Query& query, const std::string& sessionId, httplib::Response& response)
    {
        const std::lock_guard guard(mutex);
        if (query.path == QLatin1String("/login.asp"))
            sendXml(response, login(query, response));
        else if (query.path == QLatin1String("/xml/xml_linkmangroup.asp"))
            sendXml(response, groupList(query, sessionId));
        else if (query.path == QLatin1String("/xml/xml_linkman.asp"))
            sendXml(response, newContact(query, sessionId));
        else {
            response.status = 404;
            response.set_content("Not Found", "text/plain");
        }
    }

    QString login(const Query& query, httplib::Response& response)
    {
        const User* user = userNamed(query.value(QStringLiteral("username")));
        if (!user || user->password != query.value(QStringLiteral("password")))
            return result(QStringLiteral("1"), QStringLiteral("用户名或密码错误"));
        const std::string id = newSessionId();
        sessions[id] = user->name;
        response.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + id + "; Path=/; HttpOnly");
        return result(QStringLiteral("0"), QStringLiteral("登录成功"));
    }

    QString groupList(const Query& query, const std::string& sessionId) const
    {
        const User* user = sessionUser(sessionId);
        if (!user)
            return notLoggedIn();
        if (query.value(QStringLiteral("act")) != QLatin1String("LST"))
            return unsupportedAction();
        QString list = QStringLiteral("<List>");
        for (const Group& group : user->groups)
            list += QStringLiteral("<Group>") + element("ID", QString::number(group.id)) + element("Indent", group.indent)
                    + element("Name", group.name) + QStringLiteral("</Group>");
        list += QStringLiteral("</List>");
        return result(QStringLiteral("0"), QString(), list);
    }

    QString newContact(const Query& query, const std::string& sessionId)
    {
        const User* user = sessionUser(sessionId);
        if (!user)
            return notLoggedIn();
        if (query.value(QStringLiteral("act")) != QLatin1String("NEW"))
            return unsupportedAction();
        bool isNumber = false;
        const int groupId = query.value(QStringLiteral("groupid")).toInt(&isNumber);
        if (!isNumber || !ownsGroup(*user, groupId))
            return result(QStringLiteral("3"), QStringLiteral("联系人组不存在"));

        const Contact contact{query.value(QStringLiteral("linkman")), query.value(QStringLiteral("mobile")),
                              query.value(QStringLiteral("tel")), query.value(QStringLiteral("remark"))};
        // Contacts without a mobile number never clash with one another.
        if (!contact.mobile.isEmpty()) {
            QSet<QString>& groupMobiles = mobiles[groupId];
            if (groupMobiles.contains(contact.mobile))
                return result(QStringLiteral("2"), QStringLiteral("手机号码已存在"));
            groupMobiles.insert(contact.mobile);
        }
        contacts[groupId].push_back(contact);
        return result(QStringLiteral("0"), QStringLiteral("添加成功"));
    }

    const User* userNamed(const QString& name) const
    {
        const auto found = std::find_if(users.begin(), users.end(), [&](const User& u) { return u.name == name; });
        return found == users.end() ? nullptr : &*found;
    }

    const User* sessionUser(const std::string& sessionId) const
    {
        const auto session = sessions.find(sessionId);
        return session == sessions.end() ? nullptr : userNamed(session->second);
    }

    static bool ownsGroup(const User& user, int groupId)
    {
        return std::any_of(user.groups.begin(), user.groups.end(), [&](const Group& g) { return g.id == groupId; });
    }
};

DemoServer::DemoServer(std::vector<User> users) : d(std::make_unique<Impl>(std::move(users))) {}

DemoServer::~DemoServer()
{
    stop();
}

bool DemoServer::start(int port)
{
    if (d->listener.joinable() || d->port != 0)
        return false;
    if (port == 0)
        d->port = std::max(0, d->http.bind_to_any_port("127.0.0.1"));
    else if (d->http.bind_to_port("127.0.0.1", port))
        d->port = port;
    if (d->port == 0)
        return false;
    d->listener = std::thread([this] { d->http.listen_after_bind(); });
    // httplib ignores a stop() that comes before its accept loop runs.
    while (!d->http.is_running())
        std::this_thread::yield();
    return true;
}

void DemoServer::stop()
{
    {
        const std::lock_guard guard(d->mutex);
        d->stopping = true;
    }
    d->planReplaced.notify_all();
    d->http.stop();
    if (d->listener.joinable())
        d->listener.join();
}

int DemoServer::port() const
{
    return d->port;
}

QString DemoServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(d->port);
}

void DemoServer::setUsers(std::vector<User> users)
{
    const std::lock_guard guard(d->mutex);
    d->users = std::move(users);
    d->sessions.clear();
    d->contacts.clear();
    d->mobiles.clear();
}

void DemoServer::setLatency(std::chrono::milliseconds latency)
{
    const std::lock_guard guard(d->mutex);
    d->latency = latency;
}

void DemoServer::setFailurePlan(FailurePlan plan)
{
    {
        const std::lock_guard guard(d->mutex);
        d->plan = std::move(plan);
        d->plannedRequests = 0;
        ++d->planGeneration;
    }
    d->planReplaced.notify_all();
}

QStringList DemoServer::requestLines() const
{
    const std::lock_guard guard(d->mutex);
    return d->lines;
}

std::vector<int> DemoServer::clientPorts() const
{
    const std::lock_guard guard(d->mutex);
    return d->ports;
}

void DemoServer::clearRequestLines()
{
    const std::lock_guard guard(d->mutex);
    d->lines.clear();
    d->ports.clear();
}

std::vector<Contact> DemoServer::contacts(int groupId) const
{
    const std::lock_guard guard(d->mutex);
    const auto found = d->contacts.find(groupId);
    return found == d->contacts.end() ? std::vector<Contact>{} : found->second;
}

} // namespace demoserver
