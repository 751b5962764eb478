#include "import/ContactsCsv.h"

#include <QIODevice>

namespace contacts {
namespace {

void appendField(QByteArray& out, const QString& field)
{
    const QByteArray bytes = field.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n')) {
        out += bytes;
        return;
    }
    out += '"';
    for (char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

QByteArray ContactsCsv(const LinkmanTable& table)
{
    QByteArray out("name,mobile,tel,remark\r\n");
    for (const Linkman& contact : table) {
        appendField(out, contact.name);
        out += ',';
        appendField(out, contact.mobile);
        out += ',';
        appendField(out, contact.tel);
        out += ',';
        appendField(out, contact.remark);
        out += "\r\n";
    }
    return out;
}

bool WriteContactsCsv(QIODevice& device, const LinkmanTable& table)
{
    const QByteArray csv = ContactsCsv(table);
    return device.write(csv) == csv.size();
}

} // namespace contacts
