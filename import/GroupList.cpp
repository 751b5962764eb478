#include "import/GroupList.h"

#include "platform/modPub.h"
#include "support/Numbers.h"

using namespace modPub;

namespace contacts {
namespace {

QString refusalReason(const net::XMLDocument& document)
{
    const net::XMLNodeList children = document.root().children();
    const QString reason = children.length() > 1 ? children.item(1).text() : QString();
    return reason.isEmpty() ? QStringLiteral("服务器没有给出分组列表。") : reason;
}

void readGroups(const net::XMLDocument& document, GroupListReading& reading)
{
    const net::XMLNodeList groups = document.root().children().item(2).children();
    const int n = groups.length();
    for (int i = 0; i < n; ++i) {
        const net::XMLNodeList group = groups.item(i).children();
        const QString idText = group.item(0).text();
        ContactGroup entry{support::ParseInt32(idText), group.item(1).text(), group.item(2).text()};
        const bool validId = entry.id.has_value();
        reading.groups.append(std::move(entry));
        if (!validId) {
            reading.description = QStringLiteral("分组编号“%1”不是整数。").arg(idText);
            return;
        }
    }
    reading.loaded = true;
}

} // namespace

GroupListReading ReadGroupList()
{
    GroupListReading reading;
    // Without a document object nothing could be loaded: that is a failure,
    // not an empty list.
    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document)) {
        reading.description = QStringLiteral("无法创建xml对象！");
        return reading;
    }
    try {
        document->load(GroupListURL());
        if (RootChildText(*document, 0) != QLatin1String("0")) {
            reading.description = refusalReason(*document);
            return reading;
        }
        readGroups(*document, reading);
    } catch (const net::XMLError& error) {
        reading.description = error.description();
    }
    return reading;
}

} // namespace contacts
