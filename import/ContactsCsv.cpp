#include "import/ContactsCsv.h"

#include <QIODevice>

namespace contacts {

void AppendCsvField(QByteArray& out, const QString& field)
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

QByteArray ContactsCsv(const LinkmanTable& table)
{
    QByteArray out("name,mobile,tel,remark\r\n");
    for (const Linkman& contact : table) {
        AppendCsvField(out, contact.name);
        out += ',';
        AppendCsvField(out, contact.mobile);
        out += ',';
        AppendCsvField(out, contact.tel);
        out += ',';
        AppendCsvField(out, contact.remark);
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
