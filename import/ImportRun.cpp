#include "import/ImportRun.h"

#include "platform/modPub.h"
#include "net/XMLDocument.h"

using namespace modPub;

namespace contacts {
namespace {

// Reads the reply's status and reason; a reply without a status child is not
// a refusal.
struct ReplyStatus {
    bool refused = false;
    QString reason;
};

ReplyStatus replyStatus(const net::XMLDocument& document)
{
    const net::XMLNodeList children = document.root().children();
    if (children.length() < 1)
        return {};
    const QString status = children.item(0).text();
    if (status == QLatin1String("0"))
        return {};
    return {true, children.length() > 1 ? children.item(1).text() : QString()};
}

// Sends one contact until it is answered or the caller gives up on it.
// Returns false when the caller chose to stop.
bool sendContact(net::XMLDocument& document, const QString& groupId, int index, const Linkman& contact,
                 ImportSummary& summary, const ImportHooks& hooks)
{
    const QString url = NewContactURL(groupId, contact);
    for (int attempt = 1;; ++attempt) {
        try {
            document.load(url);
            const ReplyStatus status = replyStatus(document);
            ++summary.sent;
            if (status.refused)
                summary.failures.append({index + 1, contact, status.reason, true});
            else
                ++summary.accepted;
            return true;
        } catch (const net::XMLError& error) {
            const ImportFailure failure{index + 1, contact, error.description(), false};
            switch (hooks.requestFailed(failure, attempt)) {
            case FailureAction::Retry:
                continue;
            case FailureAction::Skip:
                ++summary.sent;
                summary.failures.append(failure);
                return true;
            case FailureAction::Stop:
                return false;
            }
        }
    }
}

} // namespace

bool LogIn(net::XMLDocument& document, QString& reason)
{
    try {
        document.load(LoginURL(gUserName, gPassword));
        if (RootChildText(document, 0) == QLatin1String("0"))
            return true;
        reason = document.root().children().length() > 1 ? RootChildText(document, 1) : QString();
    } catch (const net::XMLError& error) {
        reason = error.description();
    }
    return false;
}

QString NewContactURL(const QString& groupId, const Linkman& contact)
{
    return BaseURL() + QStringLiteral("XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=") + groupId
        + QStringLiteral("&Linkman=") + URLEncode(contact.name) + QStringLiteral("&Mobile=") + URLEncode(contact.mobile)
        + QStringLiteral("&Tel=") + URLEncode(contact.tel) + QStringLiteral("&Remark=") + URLEncode(contact.remark);
}

ImportSummary RunImport(net::XMLDocument& document, const LinkmanTable& table, const QString& groupId,
                        const ImportHooks& hooks)
{
    ImportSummary summary;
    summary.total = static_cast<int>(table.size());
    if (!LogIn(document, summary.loginReason)) {
        summary.loginFailed = true;
        summary.interrupted = true;
        return summary;
    }
    for (int index = 0; index < summary.total; ++index) {
        hooks.beforeContact();
        if (hooks.stopRequested()
            || !sendContact(document, groupId, index, table[static_cast<size_t>(index)], summary, hooks)) {
            summary.interrupted = true;
            return summary;
        }
        hooks.contactDone(summary);
    }
    return summary;
}

QString CountsLine(const ImportSummary& summary)
{
    return QStringLiteral("共%1条，成功%2条，失败%3条。")
        .arg(summary.total)
        .arg(summary.accepted)
        .arg(summary.failures.size());
}

QString FailureLine(const ImportFailure& failure)
{
    return QStringLiteral("第%1条 %2 %3：%4")
        .arg(failure.row)
        .arg(failure.contact.name, failure.contact.mobile, failure.reason);
}

} // namespace contacts
