#include "platform/modPub.h"

#include "platform/Settings.h"
#include "support/CodePage.h"

#include <QUrl>

namespace modPub {
namespace {

QString& baseUrl()
{
    static QString url = QStringLiteral(VELTRIN_BASE_URL);
    return url;
}

bool failXMLObjectCreation = false;

bool passesUnchanged(int code)
{
    return (code >= 48 && code <= 57) || (code >= 64 && code <= 90) || (code >= 97 && code <= 122);
}

void appendPercentEncoded(QString& out, const QByteArray& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        out.append(QLatin1Char('%'));
        out.append(QLatin1Char(hex[b >> 4]));
        out.append(QLatin1Char(hex[b & 0x0F]));
    }
}

} // namespace

QString BaseURL()
{
    return baseUrl();
}

bool SetBaseURL(const QString& url, QString* reason)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    QString problem;
    if (!parsed.isValid() || parsed.isRelative() || parsed.host().isEmpty())
        problem = QStringLiteral("不是一个完整的网址");
    else if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        problem = QStringLiteral("只支持http或https网址");
    else if (!url.endsWith(QLatin1Char('/')))
        problem = QStringLiteral("网址必须以“/”结尾");
    else if (parsed.hasQuery() || parsed.hasFragment())
        problem = QStringLiteral("网址不能带查询参数或“#”片段");
    if (!problem.isEmpty()) {
        if (reason)
            *reason = problem;
        return false;
    }
    baseUrl() = url;
    return true;
}

QString CompleteBaseURL(const QString& typed)
{
    QString url = typed.trimmed();
    if (!url.isEmpty() && !url.endsWith(QLatin1Char('/')))
        url.append(QLatin1Char('/'));
    return url;
}

QString BaseURLServer()
{
    const QUrl url(BaseURL());
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    QString host = url.host();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + QString::number(url.port(defaultPort));
}

QString BaseURLOptionDescription()
{
    return QStringLiteral("平台服务器的基础网址，须以“/”结尾。不给时依次取环境变量 VELTRIN_BASE_URL、"
                          "用户的和系统的配置文件（veltrin-import/veltrin-import.conf 中 [platform] 的 base_url），"
                          "都没有时用 %1。")
        .arg(QStringLiteral(VELTRIN_BASE_URL));
}

QString AddressProblem::text() const
{
    return QStringLiteral("%1 中的服务器地址无效：%2。").arg(origin, reason);
}

QList<AddressProblem> UseConfiguredBaseURL(bool passOverInvalid)
{
    QList<AddressProblem> problems;
    for (const settings::AddressSetting& setting : settings::AddressSettings()) {
        QString reason;
        if (SetBaseURL(CompleteBaseURL(setting.value), &reason))
            break;
        problems.append({setting.origin, reason});
        if (!passOverInvalid)
            break;
    }
    return problems;
}

QString URLEncode(QStringView text)
{
    QString out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size();) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            if (passesUnchanged(unit))
                out.append(QChar(unit));
            else
                appendPercentEncoded(out, QByteArray(1, static_cast<char>(unit)));
            ++i;
            continue;
        }
        // Every character beyond ASCII has a GBK code outside the three ranges
        // (a negative double-byte code, or "?" when GBK cannot hold it). GBK
        // converts a run of such characters as it converts each on its own,
        // except a surrogate, which is one unit of its own.
        qsizetype end = i + 1;
        if (!QChar::isSurrogate(unit))
            while (end < text.size() && text[end].unicode() >= 0x80 && !text[end].isSurrogate())
                ++end;
        appendPercentEncoded(out, support::ToGbk(text.sliced(i, end - i)));
        i = end;
    }
    return out;
}

bool CreateXMLObject(std::unique_ptr<net::XMLDocument>& document)
{
    document.reset();
    if (failXMLObjectCreation)
        return false;
    try {
        document = std::make_unique<net::XMLDocument>();
    } catch (const std::exception&) {
        return false;
    }
    return document != nullptr;
}

void FailXMLObjectCreationForTesting(bool fail)
{
    failXMLObjectCreation = fail;
}

QString RootChildText(const net::XMLDocument& document, int position)
{
    return document.root().children().item(position).text();
}

QString LoginURL(const QString& userName, const QString& password)
{
    return BaseURL() + QStringLiteral("Login.asp?UserName=") + URLEncode(userName) + QStringLiteral("&Password=")
        + URLEncode(password);
}

QString GroupListURL()
{
    return BaseURL() + QStringLiteral("XML/XML_LinkmanGroup.asp?ACT=LST");
}

} // namespace modPub
