#pragma once

#include "import/ContactAnalysis.h"
#include "net/XMLDocument.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <memory>

// The module shared by the whole tool: the run's globals and the helpers of
// the conversation with the platform's web server.
namespace modPub {

// The user name typed at login, trimmed of spaces; written by the login button.
inline QString gUserName;
// The password exactly as typed; written by the login button.
inline QString gPassword;
// Decimal text of the chosen group's id; written by the import button.
inline QString gGroupID;
// The contacts of the latest analysed worksheet; written only by the sheet
// analysis, read by the import run.
inline contacts::LinkmanTable gLinkmanTable;

// The platform server's base URL: an absolute http or https URL ending in "/".
QString BaseURL();
// Replaces the base URL; refuses (returning false and a reason) anything that
// is not an absolute http or https URL ending in "/".
bool SetBaseURL(const QString& url, QString* reason);
// An address as a person types it into a box or a configuration file: the
// white space around it dropped and a missing final "/" added.
QString CompleteBaseURL(const QString& typed);
// "host:port" of the base URL (the scheme's own port when it names none):
// what the user needs to know of the server in use, without a path or a
// user name and password written into the URL.
QString BaseURLServer();

// The help text of --base-url: what it takes and where the address comes from without it.
QString BaseURLOptionDescription();

// An address setting whose value is no usable base URL.
struct AddressProblem {
    QString origin;
    QString reason;
    // "<origin> 中的服务器地址无效：<reason>。"
    QString text() const;
};
// Takes the base URL from the first address setting (VELTRIN_BASE_URL, the
// user's configuration file, the system's), completing it as typed; without
// one the compiled-in default stays. A setting that holds no usable address
// is passed over to the next when passOverInvalid, else it ends the choice
// and the base URL stays as it was. Returns the settings passed over or ending it.
QList<AddressProblem> UseConfiguredBaseURL(bool passOverInvalid);

// Percent-encodes a query value: every UTF-16 unit whose GBK code is outside
// "0"-"9", "@"-"Z" and "a"-"z" becomes "%XX" per GBK byte (a space is "%20",
// never "+").
QString URLEncode(QStringView text);

// Creates the XML document object; returns false, showing nothing, when that fails.
bool CreateXMLObject(std::unique_ptr<net::XMLDocument>& document);
// Makes CreateXMLObject fail, so that every caller's handling of it can be tested.
void FailXMLObjectCreationForTesting(bool fail);

// The text of the root element's child at position, as the platform's replies
// are read; throws net::XMLError when the child does not exist.
QString RootChildText(const net::XMLDocument& document, int position);

QString LoginURL(const QString& userName, const QString& password);
QString GroupListURL();

} // namespace modPub
