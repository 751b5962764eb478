#pragma once

#include "import/ContactAnalysis.h"

#include <QList>
#include <QString>

#include <functional>

namespace net {
class XMLDocument;
}

namespace contacts {

// A contact that did not reach the group: refused by the platform (its reply
// status was not "0") or failed on the way (transport, time-out, HTTP error,
// a reply that is not XML).
struct ImportFailure {
    int row = 0; // the contact's number in the table, from 1
    Linkman contact;
    QString reason;
    bool refused = false;
};

struct ImportSummary {
    int total = 0;    // contacts in the table
    int sent = 0;     // contacts whose request was answered or given up on
    int accepted = 0; // contacts the platform took
    QList<ImportFailure> failures;
    bool loginFailed = false;
    QString loginReason;
    bool interrupted = false; // stopped before the last contact (or at the login)
};

// What to do with a contact whose request failed.
enum class FailureAction { Retry, Skip, Stop };

// The caller's part of a run: letting the user act between contacts, the stop
// check, the progress and the choice after a failed request.
struct ImportHooks {
    // Runs once before each contact (the window processes its waiting events here).
    std::function<void()> beforeContact = [] {};
    std::function<bool()> stopRequested = [] { return false; };
    // Runs after each contact's request, whatever its result.
    std::function<void(const ImportSummary&)> contactDone = [](const ImportSummary&) {};
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

// Logs in with gUserName and gPassword on the given document object, then sends
// one request per contact in table order. A refused login sends nothing.
ImportSummary RunImport(net::XMLDocument& document, const LinkmanTable& table, const QString& groupId,
                        const ImportHooks& hooks);

// "共N条，成功S条，失败F条。"
QString CountsLine(const ImportSummary& summary);
// One line per failure: "第N条 姓名 手机：原因".
QString FailureLine(const ImportFailure& failure);

} // namespace contacts
