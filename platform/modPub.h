#pragma once

#include "import/ContactAnalysis.h"
#include "net/XMLDocument.h"

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
