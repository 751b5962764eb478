#pragma once

#include "import/NumberedContacts.h"

#include <QList>
#include <QString>

#include <functional>

namespace net {
class XMLDocument;
}

namespace contacts {

class ImportJournal;

// How one contact's request ended.
enum class Outcome {
    Accepted, // the reply's status was "0"
    Refused,  // the reply had another status, with the platform's reason
    Failed,   // no usable reply: transport, time-out, HTTP error, not XML, no status
};

// A contact that did not get into the group.
struct ImportFailure {
    int row = 0; // the contact's number in its list
    Linkman contact;
    QString reason;
    Outcome outcome = Outcome::Failed; // Refused or Failed
    // A request of this contact may have reached the platform and been acted
    // on without an answer saying so: the platform may hold the contact.
    bool unknown = false;
};

// A contact accepted on a retry that the platform refused as already there:
// an earlier request whose answer was lost had stored it.
struct AcceptedNote {
    int row = 0;
    Linkman contact;
    QString reply; // the platform's reason for the refusal
};

// Why a run ended before its last contact.
enum class StopCause {
    None,
    User,    // the cancel button, the close box, 停止, Ctrl-C
    Login,   // the platform did not accept the run's login
    Journal, // the journal could not be written
    NoDocumentObject, // the XML document object could not be created: nothing was sent
};

struct ImportSummary {
    int total = 0;           // contacts in the list
    int alreadyImported = 0; // accepted in an earlier run of the journal, not sent again
    int sent = 0;            // contacts of this run whose outcome is recorded
    int accepted = 0;        // contacts in the group, alreadyImported included
    QList<ImportFailure> failures; // refused and failed, in list order
    QList<AcceptedNote> notes;
    // Positions in the list of the contacts never sent because the run stopped.
    std::vector<size_t> unsent;
    StopCause stopped = StopCause::None;
    QString stopReason; // the login's or the journal's, in Chinese

    bool interrupted() const { return stopped != StopCause::None; }
    // Contacts through: sent now or accepted before.
    int done() const { return alreadyImported + sent; }
};

// What to do with a contact whose request failed.
enum class FailureAction { Retry, Skip, Stop };

// The caller's part of a run. Every hook runs on the run's thread.
struct ImportHooks {
    // Runs once before each contact's stop check.
    std::function<void()> beforeContact = [] {};
    std::function<bool()> stopRequested = [] { return false; };
    // Runs once the login is accepted, and after each contact, with the
    // counts so far.
    std::function<void(const ImportSummary&)> progressed = [](const ImportSummary&) {};
    // attempt counts the tries of this contact so far, from 1.
    std::function<FailureAction(const ImportFailure&, int attempt)> requestFailed =
        [](const ImportFailure&, int) { return FailureAction::Skip; };
};

// Sends the login request with gUserName and gPassword and checks its reply's
// status; false with the platform's reason, or what failed, otherwise.
bool LogIn(net::XMLDocument& document, QString& reason);

// The request URL of one contact. Every value goes through URLEncode: a
// telephone cell holding "&GroupID=9" must stay a value.
QString NewContactURL(const QString& groupId, const Linkman& contact);

// Logs in with gUserName and gPassword on the given document object, then
// sends one request per contact in list order, one at a time, checking for a
// stop before each. A refused login sends nothing. With a journal, every
// request and outcome is recorded as it happens, and the contacts that its
// earlier runs recorded as accepted are passed over.
ImportSummary RunImport(net::XMLDocument& document, const NumberedContacts& contacts, const QString& groupId,
                        const ImportHooks& hooks, ImportJournal* journal = nullptr);

// What a never-sent contact is listed with.
QString NotSentReason();
// Every contact that did not get in: the failed and refused ones, then those
// never sent.
QList<ImportFailure> NotImported(const ImportSummary& summary, const NumberedContacts& contacts);

// "共N条，成功S条，失败F条。", with "（其中K条已在上次导入）" after the accepted
// ones when a journal's earlier run had taken some.
QString CountsLine(const ImportSummary& summary);
// "第N条 姓名 手机：原因"
QString FailureLine(const ImportFailure& failure);
// "第N条 姓名 手机：重试时平台回复“…”，此前的发送已导入。"
QString NoteLine(const AcceptedNote& note);

} // namespace contacts
