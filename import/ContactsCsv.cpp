#include "import/ContactsCsv.h"

#include <QIODevice>

namespace contacts {
namespace {

bool needsQuotes(char32_t c)
{
    return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
}

// Writes text in UTF-8 at out, with a lone surrogate as "?" (as
// QString::toUtf8 writes it) and, in a quoted field, every double quote
// doubled; returns the end of what it wrote. Unquoted, it gives up and returns
// nullptr at the first character that needs the field quoted, so that most
// fields take one pass and no copy.
template <bool Quoted> char* writeUtf8(char* out, QStringView text)
{
    const char16_t* next = text.utf16();
    const char16_t* const end = next + text.size();
    while (next != end) {
        char32_t c = *next++;
        if (c < 0x80) {
            if (needsQuotes(c)) {
                if constexpr (!Quoted)
                    return nullptr;
                if (c == u'"')
                    *out++ = '"';
            }
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | c >> 6);
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = static_cast<char>(0xE0 | c >> 12);
            *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && next != end && QChar::isLowSurrogate(*next)) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), *next++);
            *out++ = static_cast<char>(0xF0 | c >> 18);
            *out++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
            *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out++ = '?';
        }
    }
    return out;
}

// A UTF-16 unit takes at most three bytes, a doubled quote two; a field at
// most two more for its quotes.
qsizetype maxFieldBytes(QStringView field)
{
    return 3 * field.size() + 2;
}

char* writeField(char* out, QStringView field)
{
    if (char* end = writeUtf8<false>(out, field))
        return end;
    *out++ = '"';
    out = writeUtf8<true>(out, field);
    *out++ = '"';
    return out;
}

constexpr char Header[] = "name,mobile,tel,remark\r\n";

// The output grows once per contact, not once per field and separator.
void appendContact(QByteArray& out, const Linkman& contact)
{
    const qsizetype at = out.size();
    out.resize(at + maxFieldBytes(contact.name) + maxFieldBytes(contact.mobile) + maxFieldBytes(contact.tel)
               + maxFieldBytes(contact.remark) + 5);
    char* cursor = writeField(out.data() + at, contact.name);
    *cursor++ = ',';
    cursor = writeField(cursor, contact.mobile);
    *cursor++ = ',';
    cursor = writeField(cursor, contact.tel);
    *cursor++ = ',';
    cursor = writeField(cursor, contact.remark);
    *cursor++ = '\r';
    *cursor++ = '\n';
    out.truncate(cursor - out.constData());
}

bool writeAll(QIODevice& device, const QByteArray& bytes)
{
    return device.write(bytes) == bytes.size();
}

} // namespace

void AppendCsvField(QByteArray& out, const QString& field)
{
    const qsizetype at = out.size();
    out.resize(at + maxFieldBytes(field));
    out.truncate(writeField(out.data() + at, field) - out.constData());
}

QByteArray ContactsCsv(const LinkmanTable& table)
{
    QByteArray out(Header);
    for (const Linkman& contact : table)
        appendContact(out, contact);
    return out;
}

QByteArray SkippedRowsCsv(const std::vector<SkippedRow>& rows)
{
    QByteArray out("\xEF\xBB\xBF" "row,name,mobile,reason\r\n");
    for (const SkippedRow& row : rows) {
        out += QByteArray::number(row.row);
        for (const QString* field : {&row.name, &row.mobile, &row.reason}) {
            out += ',';
            AppendCsvField(out, *field);
        }
        out += "\r\n";
    }
    return out;
}

bool WriteContactsCsv(QIODevice& device, const LinkmanTable& table)
{
    // Written a block at a time: a million contacts never sit in memory twice.
    constexpr qsizetype BlockBytes = qsizetype(1) << 20;
    QByteArray block(Header);
    block.reserve(BlockBytes + 4096);
    for (const Linkman& contact : table) {
        appendContact(block, contact);
        if (block.size() >= BlockBytes) {
            if (!writeAll(device, block))
                return false;
            block.resize(0);
        }
    }
    return writeAll(device, block);
}

} // namespace contacts
