#include "import/FailuresFile.h"

#include "import/ContactsCsv.h"
#include "support/Numbers.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace contacts {
namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");
const QByteArray Header("row,name,mobile,tel,remark,reason");
constexpr qsizetype FieldCount = 6;

// Reads records as FailuresCsv writes them, and as spreadsheet programs write
// them back: lines ending in CRLF or LF, fields in double quotes when needed.
class CsvReader {
public:
    explicit CsvReader(QStringView text) : text_(text) {}

    bool atEnd() const { return position_ >= text_.size(); }
    // The line the next record starts on, from 1.
    int line() const { return line_; }

    bool readRecord(QStringList& fields, QString& problem)
    {
        fields.clear();
        for (;;) {
            QString field;
            if (!readField(field, problem))
                return false;
            fields.append(field);
            if (atEnd())
                return true;
            if (text_[position_] == u',') {
                ++position_;
                continue;
            }
            position_ += lineEndAt(position_);
            ++line_;
            return true;
        }
    }

private:
    // The length of the line end at position, 0 when there is none.
    qsizetype lineEndAt(qsizetype position) const
    {
        if (text_[position] == u'\n')
            return 1;
        if (text_[position] == u'\r' && position + 1 < text_.size() && text_[position + 1] == u'\n')
            return 2;
        return 0;
    }

    bool fieldEndsAt(qsizetype position) const
    {
        return position >= text_.size() || text_[position] == u',' || lineEndAt(position) > 0;
    }

    bool readField(QString& field, QString& problem)
    {
        if (!atEnd() && text_[position_] == u'"')
            return readQuotedField(field, problem);
        const qsizetype start = position_;
        while (!fieldEndsAt(position_)) {
            if (text_[position_] == u'"' || text_[position_] == u'\r') {
                problem = QStringLiteral("没有加引号的字段中有引号或回车。");
                return false;
            }
            ++position_;
        }
        field = text_.sliced(start, position_ - start).toString();
        return true;
    }

    bool readQuotedField(QString& field, QString& problem)
    {
        for (++position_;; ++position_) {
            if (atEnd()) {
                problem = QStringLiteral("引号没有结束。");
                return false;
            }
            const QChar c = text_[position_];
            if (c == u'"') {
                if (position_ + 1 < text_.size() && text_[position_ + 1] == u'"') {
                    field += c;
                    ++position_;
                    continue;
                }
                ++position_;
                break;
            }
            if (c == u'\n')
                ++line_;
            field += c;
        }
        if (!fieldEndsAt(position_)) {
            problem = QStringLiteral("结束的引号后面还有字符。");
            return false;
        }
        return true;
    }

    QStringView text_;
    qsizetype position_ = 0;
    int line_ = 1;
};

bool isBlank(const QStringList& fields)
{
    return std::all_of(fields.begin(), fields.end(), [](const QString& field) { return field.isEmpty(); });
}

bool addContact(const QStringList& fields, NumberedContacts& contacts, QSet<int>& numbers, QString& problem)
{
    if (fields.size() != FieldCount) {
        problem = QStringLiteral("有%1个字段，应是%2个。").arg(fields.size()).arg(FieldCount);
        return false;
    }
    const std::optional<int32_t> row = support::ParseInt32(fields[0]);
    if (!row || *row < 1) {
        problem = QStringLiteral("行号“%1”不是正整数。").arg(fields[0]);
        return false;
    }
    // The number names the contact in reports and journals: two contacts
    // must not share it.
    if (numbers.contains(*row)) {
        problem = QStringLiteral("行号%1在前面已经用过。").arg(*row);
        return false;
    }
    numbers.insert(*row);
    contacts.table.push_back({fields[1], fields[2], fields[3], fields[4]});
    contacts.rows.push_back(*row);
    return true;
}

} // namespace

QByteArray FailuresCsv(const QList<ImportFailure>& failures)
{
    QByteArray csv = ByteOrderMark + Header + "\r\n";
    for (const ImportFailure& failure : failures) {
        csv += QByteArray::number(failure.row);
        for (const QString* field : {&failure.contact.name, &failure.contact.mobile, &failure.contact.tel,
                                     &failure.contact.remark, &failure.reason}) {
            csv += ',';
            AppendCsvField(csv, *field);
        }
        csv += "\r\n";
    }
    return csv;
}

qsizetype FailuresCsvSignatureSize()
{
    return ByteOrderMark.size() + Header.size() + 2;
}

bool IsFailuresCsv(const QByteArray& start)
{
    const QByteArray signature = ByteOrderMark + Header;
    if (!start.startsWith(signature))
        return false;
    const QByteArray rest = start.mid(signature.size(), 2);
    return rest.isEmpty() || rest.startsWith('\n') || rest == "\r\n";
}

bool ParseFailuresCsv(const QByteArray& content, NumberedContacts& contacts, QString& problem)
{
    if (!IsFailuresCsv(content)) {
        problem = QStringLiteral("不是失败记录文件：第一行应是带字节顺序标记的“%1”。").arg(QLatin1String(Header));
        return false;
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(content).sliced(ByteOrderMark.size()));
    if (decoder.hasError()) {
        problem = QStringLiteral("失败记录文件不是UTF-8编码。");
        return false;
    }
    CsvReader reader(text);
    QStringList fields;
    reader.readRecord(fields, problem); // the header, checked above
    contacts = {};
    QSet<int> numbers;
    while (!reader.atEnd()) {
        const int line = reader.line();
        if (!reader.readRecord(fields, problem)
            || (!isBlank(fields) && !addContact(fields, contacts, numbers, problem))) {
            problem = QStringLiteral("失败记录文件第%1行：%2").arg(line).arg(problem);
            return false;
        }
    }
    return true;
}

bool IsFailuresFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && IsFailuresCsv(file.peek(FailuresCsvSignatureSize()));
}

bool ReadFailuresFile(const QString& path, NumberedContacts& contacts, QString& problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("无法读取失败记录文件 %1：%2").arg(path, file.errorString());
        return false;
    }
    if (!ParseFailuresCsv(file.readAll(), contacts, problem))
        return false;
    if (contacts.table.empty()) {
        problem = QStringLiteral("失败记录文件中没有联系人。");
        return false;
    }
    return true;
}

bool WriteFailuresFile(QSaveFile& file, const QList<ImportFailure>& failures, QString& problem)
{
    const QByteArray csv = FailuresCsv(failures);
    if (file.write(csv) != csv.size() || !file.commit()) {
        problem = QStringLiteral("无法写入失败记录文件 %1：%2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

} // namespace contacts
