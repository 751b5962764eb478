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

constexpr char Header[] = "name,mobile,tel,remark\r\n";

void appendContact(QByteArray& out, QStringEncoder& utf8, const Linkman& contact)
{
    appendField(out, utf8, contact.name);
    out += ',';
    appendField(out, utf8, contact.mobile);
    out += ',';
    appendField(out, utf8, contact.tel);
    out += ',';
    appendField(out, utf8, contact.remark);
    out += "\r\n";
}

bool writeAll(QIODevice& device, const QByteArray& bytes)
{
    return device.write(bytes) == bytes.size();
}

} // namespace

void AppendCsvField(QByteArray& out, const QString& field)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    appendField(out, utf8, field);
}

QByteArray ContactsCsv(const LinkmanTable& table)
{
    QByteArray out(Header);
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (const Linkman& contact : table)
        appendContact(out, utf8, contact);
    return out;
}

bool WriteContactsCsv(QIODevice& device, const LinkmanTable& table)
{
    // Written a block at a time: a million contacts never sit in memory twice.
    constexpr qsizetype BlockBytes = qsizetype(1) << 20;
    QByteArray block(Header);
    block.reserve(BlockBytes + 4096);
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (const Linkman& contact : table) {
        appendContact(block, utf8, contact);
        if (block.size() >= BlockBytes) {
            if (!writeAll(device, block))
                return false;
            block.resize(0);
        }
    }
    return writeAll(device, block);
}

} // namespace contacts
