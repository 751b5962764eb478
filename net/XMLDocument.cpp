#include "net/XMLDocument.h"

#include "support/CodePage.h"

#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <string>

namespace net {

struct ParsedDocument {
    explicit ParsedDocument(xmlDocPtr parsed) : doc(parsed) {}
    ~ParsedDocument() { xmlFreeDoc(doc); }
    ParsedDocument(const ParsedDocument&) = delete;
    ParsedDocument& operator=(const ParsedDocument&) = delete;
    xmlDocPtr doc;
};

XMLError::XMLError(const QString& description, bool requestMayHaveArrived)
    : std::runtime_error(description.toStdString()), description_(description),
      requestMayHaveArrived_(requestMayHaveArrived)
{
}

namespace {

// Entities are neither substituted nor loaded and no DTD is fetched, so an
// entity-expansion bomb or an entity naming a local file stays inert; no huge
// mode, so libxml2 keeps its size and depth limits.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// The Chinese encodings that servers declare, as code pages of our own code
// page layer, which reads them alike on every system (libxml2 reads only the
// Unicode encodings and Latin-1 itself wherever it lacks iconv). Servers that
// declare GB2312 send GBK (code page 936) in practice: strict GB2312 would
// reject every character outside its small set.
std::optional<int> chineseCodePage(QByteArrayView body)
{
    static const QRegularExpression declaration(
        QStringLiteral(R"(^<\?xml\s[^>]*?\bencoding\s*=\s*["']([A-Za-z0-9._-]+)["'])"));
    const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(body.first(qMin(body.size(), 256))));
    const QString encoding = match.captured(1).toUpper();
    if (encoding == u"GB2312" || encoding == u"GBK" || encoding == u"CP936")
        return 936;
    if (encoding == u"GB18030")
        return 54936;
    return std::nullopt;
}

void initialiseLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        xmlInitParser();
    });
}

// The cookies, DNS cache and kept-alive connections that every load shares, so
// the session cookie of the login reply reaches the later requests.
class Session {
public:
    Session() : share_(curl_share_init())
    {
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &Session::lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &Session::unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    }
    ~Session() { curl_share_cleanup(share_); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CURLSH* handle() const { return share_; }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<Session*>(self)->mutexes_.at(data).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<Session*>(self)->mutexes_.at(data).unlock();
    }

    CURLSH* share_;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
};

std::mutex globalsMutex;
std::shared_ptr<Session> sharedSession;
LoadLimits currentLimits;

// A load keeps its session alive until it ends, so resetSession() never pulls
// the share handle from under a running transfer.
std::shared_ptr<Session> currentSession()
{
    const std::lock_guard guard(globalsMutex);
    if (!sharedSession)
        sharedSession = std::make_shared<Session>();
    return sharedSession;
}

bool travelsUnchanged(QChar c)
{
    return c.unicode() > 0x20 && c.unicode() < 0x7F && c != u'#';
}

QByteArray requestBytes(const QString& url)
{
    if (std::all_of(url.begin(), url.end(), travelsUnchanged))
        return url.toLatin1();
    QByteArray bytes;
    bytes.reserve(url.size());
    for (qsizetype i = 0; i < url.size(); ++i) {
        const QChar c = url.at(i);
        if (travelsUnchanged(c))
            bytes += static_cast<char>(c.unicode());
        else
            bytes += support::ToGbk(QStringView(url).mid(i, 1)).toPercentEncoding();
    }
    return bytes;
}

// Only the host (and an explicit port) may name the server in a description:
// the rest of the URL carries the password.
QString hostOf(const char* url)
{
    CURLU* parts = curl_url();
    QString host;
    if (curl_url_set(parts, CURLUPART_URL, url, 0) == CURLUE_OK) {
        char* name = nullptr;
        if (curl_url_get(parts, CURLUPART_HOST, &name, 0) == CURLUE_OK)
            host = QString::fromUtf8(name);
        curl_free(name);
        char* port = nullptr;
        if (curl_url_get(parts, CURLUPART_PORT, &port, 0) == CURLUE_OK)
            host += QLatin1Char(':') + QString::fromUtf8(port);
        curl_free(port);
    }
    curl_url_cleanup(parts);
    return host.isEmpty() ? QStringLiteral("（地址无效）") : host;
}

// libcurl's error detail and libxml2's parser message come from outside and may
// echo part of the request; no value of its query may reach a description.
QString withoutQuery(QString detail, const QByteArray& url)
{
    const qsizetype mark = url.indexOf('?');
    if (mark < 0)
        return detail;
    const QByteArray query = url.mid(mark + 1);
    QStringList secrets{QString::fromLatin1(url), QString::fromLatin1(query)};
    for (const QByteArray& pair : query.split('&')) {
        const QByteArray value = pair.mid(pair.indexOf('=') + 1);
        secrets << QString::fromLatin1(value) << support::FromGbk(QByteArray::fromPercentEncoding(value));
    }
    // Shorter values are ids and flags ("0", "1") that would blank out line numbers.
    for (const QString& secret : secrets)
        if (secret.size() >= 3)
            detail.replace(secret, QStringLiteral("***"));
    return detail;
}

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(static_cast<double>(duration.count()) / 1000.0);
}

struct Transfer {
    std::string body;
    qint64 limit = 0;
    bool oversized = false;
    int requestsSent = 0;
    std::array<char, CURL_ERROR_SIZE> error{};
};

size_t appendBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t length = size * count;
    if (static_cast<qint64>(transfer->body.size() + length) > transfer->limit) {
        transfer->oversized = true;
        return 0; // anything short of length aborts the transfer
    }
    transfer->body.append(data, length);
    return length;
}

// Called just before each request goes out, the first, every redirect's, and
// the one libcurl sends again by itself when a reused connection closes
// before any byte of the reply.
int countRequest(void* user, char*, char*, int, int)
{
    ++static_cast<Transfer*>(user)->requestsSent;
    return CURL_PREREQFUNC_OK;
}

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

// What stays the same for every load through one handle. The cookie engine is
// switched on here, once: libcurl 7.88 keeps the list of cookie files in the
// handle after a transfer and curl_easy_reset() drops that list without
// freeing it, so a handle is never reset, only given a new URL.
void configureOnce(CURL* easy, CURLSH* share)
{
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // cookie engine on, in memory only
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &countRequest);
}

void configureLoad(CURL* easy, const QByteArray& url, const LoadLimits& limits, Transfer& transfer)
{
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, RedirectProtocols(url));
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.requestTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error.data());
}

// Whether libcurl sent a request again by itself: a redirect is the only
// other reason for more requests than the first.
bool requestWasRepeated(CURL* easy, const Transfer& transfer)
{
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    return transfer.requestsSent > redirects + 1;
}

// Whether the server may have received the whole request: libcurl counts the
// request's bytes once they are all handed over, a redirect means an earlier
// request was answered, and a request sent again may have arrived the first
// time.
bool requestMayHaveArrived(CURL* easy, const Transfer& transfer)
{
    long requestBytes = 0;
    curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    return requestBytes > 0 || redirects > 0 || requestWasRepeated(easy, transfer);
}

QString transportFailure(CURL* easy, CURLcode code, const Transfer& transfer, const LoadLimits& limits,
                         const QByteArray& url, const QString& host)
{
    QString detail = QString::fromUtf8(transfer.error.data()).trimmed();
    if (detail.isEmpty())
        detail = QString::fromUtf8(curl_easy_strerror(code));
    detail = withoutQuery(detail, url);
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);

    switch (code) {
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("服务器地址无效，请检查服务器地址设置。（%1）").arg(detail);
    case CURLE_UNSUPPORTED_PROTOCOL:
        if (redirects > 0)
            return QStringLiteral("服务器 %1 要求转到不受支持或不加密的地址，已拒绝。").arg(host);
        return QStringLiteral("服务器地址无效，只支持 http 和 https 地址。");
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("找不到服务器 %1，请检查服务器地址和网络连接。").arg(host);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("无法连接服务器 %1，请检查网络连接或稍后重试。（%2）").arg(host, detail);
    case CURLE_OPERATION_TIMEDOUT: {
        curl_off_t connected = 0;
        curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected == 0)
            return QStringLiteral("连接服务器 %1 超过 %2 秒仍未成功，请检查网络连接或稍后重试。")
                .arg(host, seconds(limits.connectTimeout));
        return QStringLiteral("服务器 %1 在 %2 秒内没有回复完毕，请稍后重试。").arg(host, seconds(limits.requestTimeout));
    }
    case CURLE_TOO_MANY_REDIRECTS:
        return QStringLiteral("服务器 %1 的重定向超过 %2 次，已停止。").arg(host).arg(limits.maxRedirects);
    case CURLE_PEER_FAILED_VERIFICATION:
        return QStringLiteral("服务器 %1 的证书未通过验证，已拒绝连接。（%2）").arg(host, detail);
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("无法与服务器 %1 建立安全连接。（%2）").arg(host, detail);
    default:
        return QStringLiteral("与服务器 %1 通信失败，请稍后重试。（%2）").arg(host, detail);
    }
}

struct Reply {
    std::string body;
    QByteArray effectiveUrl; // names the server in a description, only when one is needed
    bool repeated = false;
};

// The host a description names, for a reply from url, or for a body parsed
// without a request when url is empty.
QString replyHost(const QByteArray& url)
{
    return url.isEmpty() ? QStringLiteral("（本地）") : hostOf(url.constData());
}

// Parses replies one after the other with one parser context: making a new
// context for every reply cost as much as parsing it. A reply byte for byte
// the same as the one before is not parsed again: the platform answers every
// accepted contact alike, and a parsed reply is never changed, only read.
class ReplyParser {
public:
    std::shared_ptr<const ParsedDocument> parse(QByteArrayView body, const QByteArray& effectiveUrl,
                                                const QByteArray& url)
    {
        if (last_ && body == QByteArrayView(lastBody_))
            return last_;
        last_.reset();
        if (!context_)
            context_.reset(xmlNewParserCtxt());
        if (!context_)
            throw XMLError(QStringLiteral("无法解析服务器的回复：内存不足。"));
        // A reply in a Chinese encoding reaches libxml2 as UTF-8, its
        // declaration then ignored.
        const std::optional<int> codePage = chineseCodePage(body);
        const QByteArray utf8 = codePage ? support::FromCodePage(body, *codePage).toUtf8() : QByteArray();
        const QByteArrayView text = codePage ? QByteArrayView(utf8) : body;
        const int options = codePage ? kParseOptions | XML_PARSE_IGNORE_ENC : kParseOptions;
        auto parsed = std::make_shared<ParsedDocument>(xmlCtxtReadMemory(
            context_.get(), text.data(), static_cast<int>(text.size()), nullptr, nullptr, options));
        if (parsed->doc && context_->wellFormed && xmlDocGetRootElement(parsed->doc)) {
            lastBody_ = body.toByteArray();
            last_ = parsed;
            return parsed;
        }

        const xmlError& error = context_->lastError;
        QString message = error.message ? QString::fromUtf8(error.message).trimmed() : QStringLiteral("没有根元素");
        throw XMLError(QStringLiteral("服务器 %1 的回复不是有效的 XML（第 %2 行：%3）。")
                           .arg(replyHost(effectiveUrl))
                           .arg(error.line)
                           .arg(withoutQuery(message, url)));
    }

private:
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context_{nullptr, &xmlFreeParserCtxt};
    QByteArray lastBody_;
    std::shared_ptr<const ParsedDocument> last_;
};

bool isWhitespaceText(xmlNodePtr node)
{
    if (node->type != XML_TEXT_NODE || !node->content)
        return false;
    for (const xmlChar* c = node->content; *c; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n')
            return false;
    return true;
}

// Entity references are left unexpanded: following them is what an entity
// bomb or an external entity relies on.
void appendText(xmlNodePtr node, QByteArray& text)
{
    switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
        text += reinterpret_cast<const char*>(node->content);
        break;
    case XML_ELEMENT_NODE:
        for (xmlNodePtr child = node->children; child; child = child->next)
            appendText(child, text);
        break;
    default:
        break;
    }
}

} // namespace

// A document's transfer handle, made once and used for every load, bound to
// the session it was made in. The handle goes before the session can let go
// of the share handle: curl_share_cleanup() refuses, and frees nothing, while
// a handle still uses the share.
class Transport {
public:
    Reply fetch(const QByteArray& url);
    ReplyParser parser;

private:
    CURL* handleFor(std::shared_ptr<Session> session);

    std::shared_ptr<Session> session_; // declared first, so destroyed after the handle
    EasyHandle easy_{nullptr, &curl_easy_cleanup};
};

// After resetSession() the next load starts over with a handle of the new session.
CURL* Transport::handleFor(std::shared_ptr<Session> session)
{
    if (session != session_ || !easy_) {
        easy_.reset();
        session_ = std::move(session);
        easy_.reset(curl_easy_init());
        if (easy_)
            configureOnce(easy_.get(), session_->handle());
    }
    return easy_.get();
}

Reply Transport::fetch(const QByteArray& url)
{
    initialiseLibraries();
    const LoadLimits limits = XMLDocument::limits();
    CURL* easy = handleFor(currentSession());
    if (!easy)
        throw XMLError(QStringLiteral("无法建立网络连接：内存不足。"), false);

    Transfer transfer;
    transfer.limit = limits.maxBodyBytes;
    configureLoad(easy, url, limits, transfer);
    const CURLcode code = curl_easy_perform(easy);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr); // the buffer ends with this load

    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    const QByteArray effectiveUrl = effective ? QByteArray(effective) : url;
    const auto host = [&effectiveUrl] { return replyHost(effectiveUrl); };
    if (transfer.oversized || code == CURLE_FILESIZE_EXCEEDED)
        throw XMLError(QStringLiteral("服务器 %1 的回复超过 %2 MiB，已停止接收。")
                           .arg(host())
                           .arg(limits.maxBodyBytes / (1024 * 1024)));
    if (code != CURLE_OK)
        throw XMLError(transportFailure(easy, code, transfer, limits, url, host()), requestMayHaveArrived(easy, transfer));

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        throw XMLError(
            QStringLiteral("服务器 %1 返回了错误（HTTP %2），请稍后重试或联系平台管理员。").arg(host()).arg(status));
    return {std::move(transfer.body), effectiveUrl, requestWasRepeated(easy, transfer)};
}

const char* RedirectProtocols(QByteArrayView url)
{
    return url.first(std::min<qsizetype>(url.size(), 6)).compare("https:", Qt::CaseInsensitive) == 0 ? "https"
                                                                                                    : "http,https";
}

XMLNodeList XMLNode::children() const
{
    XMLNodeList list;
    list.doc_ = doc_;
    // An entity reference's children are the entity's declaration and content,
    // which must stay unread; only elements have children worth reading.
    if (!node_ || static_cast<xmlNodePtr>(node_)->type != XML_ELEMENT_NODE)
        return list;
    for (xmlNodePtr child = static_cast<xmlNodePtr>(node_)->children; child; child = child->next)
        if (!isWhitespaceText(child))
            list.nodes_.push_back(child);
    return list;
}

QString XMLNode::text() const
{
    if (!node_)
        return {};
    const auto node = static_cast<xmlNodePtr>(node_);
    if ((node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) && node->content)
        return QString::fromUtf8(reinterpret_cast<const char*>(node->content));
    QByteArray text;
    appendText(node, text);
    return QString::fromUtf8(text);
}

int XMLNodeList::length() const
{
    return static_cast<int>(nodes_.size());
}

XMLNode XMLNodeList::item(int i) const
{
    if (i < 0 || i >= length())
        throw XMLError(QStringLiteral("服务器的回复缺少所需的内容：第 %1 个子节点不存在（共 %2 个）。")
                           .arg(i + 1)
                           .arg(length()));
    return XMLNode(doc_, nodes_[static_cast<size_t>(i)]);
}

XMLDocument::XMLDocument() = default;
XMLDocument::~XMLDocument() = default;

void XMLDocument::load(const QString& url)
{
    doc_.reset();
    repeated_ = false;
    const QByteArray request = requestBytes(url);
    if (!transport_)
        transport_ = std::make_unique<Transport>();
    const Reply reply = transport_->fetch(request);
    repeated_ = reply.repeated;
    doc_ = transport_->parser.parse(QByteArrayView(reply.body.data(), static_cast<qsizetype>(reply.body.size())),
                                    reply.effectiveUrl, request);
}

void XMLDocument::loadBody(QByteArrayView body)
{
    doc_.reset();
    repeated_ = false;
    initialiseLibraries();
    if (body.size() > limits().maxBodyBytes)
        throw XMLError(QStringLiteral("回复超过 %1 MiB，未解析。").arg(limits().maxBodyBytes / (1024 * 1024)));
    doc_ = ReplyParser().parse(body, {}, {});
}

XMLNode XMLDocument::root() const
{
    if (!doc_)
        throw XMLError(QStringLiteral("还没有取得服务器的回复。"));
    return XMLNode(doc_, xmlDocGetRootElement(doc_->doc));
}

void XMLDocument::setLimits(const LoadLimits& limits)
{
    const std::lock_guard guard(globalsMutex);
    currentLimits = limits;
}

LoadLimits XMLDocument::limits()
{
    const std::lock_guard guard(globalsMutex);
    return currentLimits;
}

void XMLDocument::resetSession()
{
    const std::lock_guard guard(globalsMutex);
    sharedSession.reset();
}

} // namespace net
