#include "import/ContactsCsv.h"

#include <QIODevice>
#include <QStringEncoder>

namespace contacts {
namespace {

bool needsQuotes(QChar c)
{
    return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
}

void appendQuoted(QByteArray& out, const QString& field)
{
    out += '"';
    for (char c : field.toUtf8()) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// Most fields need neither quotes nor the "?" that toUtf8 gives a lone
// surrogate; they are encoded straight into the output, without a copy each.
void appendField(QByteArray& out, QStringEncoder& utf8, const QString& field)
{
    bool quoted = false;
    bool surrogates = false;
    for (QChar c : field) {
        quoted = quoted || needsQuotes(c);
        surrogates = surrogates || c.isSurrogate();
    }
    if (quoted) {
        appendQuoted(out, field);
    } else if (surrogates) {
        out += field.toUtf8();
    } else {
        const qsizetype at = out.size();
        out.resize(at + utf8.requiredSpace(field.size()));
        const char* end = utf8.appendToBuffer(out.data() + at, field);
        out.truncate(end - out.constData());
    }
}

} // namespace

void AppendCsvField(QByteArray& out, const QString& field)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    appendField(out, utf8, field);
}

QByteArray ContactsCsv(const LinkmanTable& table)
{
    QByteArray out("name,mobile,tel,remark\r\n");
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (const Linkman& contact : table) {
        appendField(out, utf8, contact.name);
        out += ',';
        appendField(out, utf8, contact.mobile);
        out += ',';
        appendField(out, utf8, contact.tel);
        out += ',';
        appendField(out, utf8, contact.remark);
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
