#include "import/ImportRun.h"

#include "import/ImportJournal.h"
#include "net/XMLDocument.h"
#include "platform/modPub.h"

using namespace modPub;

namespace contacts {
namespace {

// The platform's word for a contact it already holds, in its refusals.
const QString AlreadyThere = QStringLiteral("已存在");

struct Attempt {
    Outcome outcome = Outcome::Failed;
    QString reason;
    bool mayHaveArrived = true;
    // An earlier copy of the request may have stored the contact.
    bool repeated = false;
};

// One request and what its reply says. A reply without a status tells
// nothing: the platform may or may not have stored the contact.
Attempt sendOnce(net::XMLDocument& document, const QString& url)
{
    try {
        document.load(url);
    } catch (const net::XMLError& error) {
        return {Outcome::Failed, error.description(), error.requestMayHaveArrived()};
    }
    const bool repeated = document.requestWasRepeated();
    const net::XMLNodeList children = document.root().children();
    if (children.length() < 1)
        return {Outcome::Failed, QStringLiteral("平台的回复中没有状态。"), true, repeated};
    const QString status = children.item(0).text();
    if (status == QLatin1String("0"))
        return {Outcome::Accepted, {}, true, repeated};
    QString reason = children.length() > 1 ? children.item(1).text() : QString();
    if (reason.isEmpty())
        reason = QStringLiteral("平台没有接受（状态“%1”），也没有说明原因。").arg(status);
    return {Outcome::Refused, reason, true, repeated};
}

QString withUnknownNote(const QString& reason)
{
    return reason + QStringLiteral("（平台可能已收到该联系人，结果不明）");
}

// One run: the list, its journal and the counts so far.
class Run {
public:
    Run(net::XMLDocument& document, const NumberedContacts& contacts, const QString& groupId,
        const ImportHooks& hooks, ImportJournal* journal)
        : document_(document), contacts_(contacts), groupId_(groupId), hooks_(hooks), journal_(journal)
    {
        summary_.total = static_cast<int>(contacts.size());
    }

    ImportSummary run()
    {
        const std::vector<size_t> toSend = contactsToSend();
        QString reason;
        if (!LogIn(document_, reason)) {
            stop(StopCause::Login, reason, toSend, 0);
            return summary_;
        }
        if (journal_)
            journal_->beginRun(summary_.total);
        hooks_.progressed(summary_);
        for (size_t next = 0; next < toSend.size(); ++next) {
            hooks_.beforeContact();
            if (journal_ && journal_->failed()) {
                stop(StopCause::Journal, journal_->problem(), toSend, next);
                break;
            }
            if (hooks_.stopRequested()) {
                stop(StopCause::User, {}, toSend, next);
                break;
            }
            const bool goOn = send(toSend[next]);
            hooks_.progressed(summary_);
            if (!goOn) {
                stop(StopCause::User, {}, toSend, next + 1);
                break;
            }
        }
        if (journal_)
            journal_->endRun(!summary_.interrupted());
        return std::move(summary_);
    }

private:
    // Every contact but those that the journal's earlier runs saw accepted.
    std::vector<size_t> contactsToSend()
    {
        std::vector<size_t> positions;
        positions.reserve(contacts_.size());
        for (size_t k = 0; k < contacts_.size(); ++k) {
            if (journal_ && journal_->earlierState(contacts_.rows[k]) == JournalState::Accepted) {
                ++summary_.alreadyImported;
                ++summary_.accepted;
            } else {
                positions.push_back(k);
            }
        }
        return positions;
    }

    void stop(StopCause cause, const QString& reason, const std::vector<size_t>& toSend, size_t firstUnsent)
    {
        summary_.stopped = cause;
        summary_.stopReason = reason;
        summary_.unsent.assign(toSend.begin() + static_cast<std::ptrdiff_t>(firstUnsent), toSend.end());
    }

    // Sends one contact until its outcome is settled; false when the run is to
    // stop after it. An outcome stays unknown from the first request that may
    // have reached the platform unanswered, until a reply settles it.
    bool send(size_t position)
    {
        const int row = contacts_.rows[position];
        const Linkman& contact = contacts_.table[position];
        const QString url = NewContactURL(groupId_, contact);
        bool unknown = journal_ && journal_->earlierState(row) == JournalState::Unknown;
        for (int attempt = 1;; ++attempt) {
            if (journal_)
                journal_->sending(row, contact.mobile);
            const Attempt result = sendOnce(document_, url);
            if (result.outcome == Outcome::Accepted) {
                accept(row, contact, {});
                return true;
            }
            // Only an earlier request can have stored what the platform now
            // says it already holds.
            unknown = unknown || result.repeated;
            if (result.outcome == Outcome::Refused && unknown && result.reason.contains(AlreadyThere)) {
                accept(row, contact, result.reason);
                return true;
            }
            unknown = unknown || (result.outcome == Outcome::Failed && result.mayHaveArrived);
            const ImportFailure failure{row, contact, unknown ? withUnknownNote(result.reason) : result.reason,
                                        result.outcome, unknown};
            if (journal_)
                journal_->outcome(row, contact.mobile, journalState(failure), failure.reason);
            if (result.outcome == Outcome::Refused) {
                record(failure);
                return true;
            }
            // A stop asked for during the request ends the run without a question.
            const FailureAction action = hooks_.stopRequested() ? FailureAction::Stop
                                                                : hooks_.requestFailed(failure, attempt);
            if (action == FailureAction::Retry)
                continue;
            record(failure);
            return action == FailureAction::Skip;
        }
    }

    static JournalState journalState(const ImportFailure& failure)
    {
        if (failure.unknown)
            return JournalState::Unknown;
        return failure.outcome == Outcome::Refused ? JournalState::Refused : JournalState::Failed;
    }

    void accept(int row, const Linkman& contact, const QString& alreadyThereReply)
    {
        ++summary_.sent;
        ++summary_.accepted;
        if (!alreadyThereReply.isEmpty())
            summary_.notes.append({row, contact, alreadyThereReply});
        if (journal_)
            journal_->outcome(row, contact.mobile, JournalState::Accepted, alreadyThereReply);
    }

    void record(const ImportFailure& failure)
    {
        ++summary_.sent;
        summary_.failures.append(failure);
    }

    net::XMLDocument& document_;
    const NumberedContacts& contacts_;
    const QString& groupId_;
    const ImportHooks& hooks_;
    ImportJournal* journal_;
    ImportSummary summary_;
};

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

// Built in one buffer: one request per contact.
QString NewContactURL(const QString& groupId, const Linkman& contact)
{
    const QString base = BaseURL();
    QString url;
    url.reserve(base.size() + 96 + groupId.size()
                + 3 * (contact.name.size() + contact.mobile.size() + contact.tel.size() + contact.remark.size()));
    url += base;
    url += QLatin1String("XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=");
    url += groupId;
    url += QLatin1String("&Linkman=");
    url += URLEncode(contact.name);
    url += QLatin1String("&Mobile=");
    url += URLEncode(contact.mobile);
    url += QLatin1String("&Tel=");
    url += URLEncode(contact.tel);
    url += QLatin1String("&Remark=");
    url += URLEncode(contact.remark);
    return url;
}

ImportSummary RunImport(net::XMLDocument& document, const NumberedContacts& contacts, const QString& groupId,
                        const ImportHooks& hooks, ImportJournal* journal)
{
    return Run(document, contacts, groupId, hooks, journal).run();
}

QString NotSentReason()
{
    return QStringLiteral("未发送：导入被中断");
}

QList<ImportFailure> NotImported(const ImportSummary& summary, const NumberedContacts& contacts)
{
    QList<ImportFailure> notImported = summary.failures;
    for (const size_t position : summary.unsent)
        notImported.append({contacts.rows[position], contacts.table[position], NotSentReason(), Outcome::Failed, false});
    return notImported;
}

QString CountsLine(const ImportSummary& summary)
{
    const QString earlier = summary.alreadyImported > 0
        ? QStringLiteral("（其中%1条已在上次导入）").arg(summary.alreadyImported)
        : QString();
    return QStringLiteral("共%1条，成功%2条%3，失败%4条。")
        .arg(summary.total)
        .arg(summary.accepted)
        .arg(earlier)
        .arg(summary.failures.size());
}

QString FailureLine(const ImportFailure& failure)
{
    return QStringLiteral("第%1条 %2 %3：%4")
        .arg(failure.row)
        .arg(failure.contact.name, failure.contact.mobile, failure.reason);
}

QString NoteLine(const AcceptedNote& note)
{
    return QStringLiteral("第%1条 %2 %3：重试时平台回复“%4”，此前的发送已导入。")
        .arg(note.row)
        .arg(note.contact.name, note.contact.mobile, note.reply);
}

} // namespace contacts
