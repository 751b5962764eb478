// Comma-, tab- or semicolon-separated text, as spreadsheet programs, CRM
// systems and scripts save contact lists: one sheet, every cell text.
#include "workbook/Readers.h"
#include "workbook/TextFile.h"

#include <QFileInfo>

#include <array>

namespace workbook {
namespace {

constexpr std::array<char16_t, 3> Delimiters{u'\t', u';', u','};
// Enough lines to see a layout; few enough to look at only the file's start.
constexpr int SampleRecords = 20;
constexpr qsizetype HeadBytes = qsizetype(64) << 10;

// The number of fields of each record at the start of `head`, quoted fields
// taken whole; a record cut by the end of the head is left out.
std::vector<int> fieldCounts(QStringView head, QChar delimiter, bool wholeFile)
{
    std::vector<int> counts;
    int fields = 1;
    bool quoted = false;
    for (qsizetype i = 0; i < head.size() && counts.size() < SampleRecords; ++i) {
        const QChar c = head[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == delimiter) {
            ++fields;
        } else if (c == u'\n' || c == u'\r') {
            counts.push_back(fields);
            fields = 1;
            if (c == u'\r' && i + 1 < head.size() && head[i + 1] == u'\n')
                ++i;
        }
    }
    if (wholeFile && !quoted && counts.size() < SampleRecords && !head.isEmpty() && head.back() != u'\n'
        && head.back() != u'\r')
        counts.push_back(fields);
    return counts;
}

// The delimiter that splits the first records into one same number of
// columns, the most columns when several do; failing that, the one that
// splits the most records; a comma when nothing is split at all. Where
// delimiters tie, a tab or a semicolon goes before the comma, which numbers
// and text hold more often.
QChar detectDelimiter(QStringView head, bool wholeFile)
{
    QChar best = u',';
    int bestColumns = 1;
    int mostSplit = 0;
    QChar mostSplitting = u',';
    // Looked at in the order of precedence, each taking over only from a worse one.
    for (const char16_t delimiter : Delimiters) {
        const std::vector<int> counts = fieldCounts(head, delimiter, wholeFile);
        if (counts.empty())
            continue;
        const bool consistent = std::all_of(counts.begin(), counts.end(), [&](int n) { return n == counts.front(); });
        if (consistent && counts.front() > bestColumns) {
            best = delimiter;
            bestColumns = counts.front();
        }
        const int split = static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 1; }));
        if (split > mostSplit) {
            mostSplit = split;
            mostSplitting = delimiter;
        }
    }
    return bestColumns > 1 ? best : mostSplitting;
}

// Splits decoded text into records and fields as RFC 4180 says: a field in
// double quotes may hold delimiters, line breaks and doubled quotes. Lines end
// in CRLF, LF or CR; a line break inside a field becomes LF, as in the cells
// of a workbook. The text is fed in blocks and kept whole in one pool of
// characters, which the sheet's cells point into: a plain field is stored
// where it lies, a quoted one after its quotes are taken out in place.
class CsvParser {
public:
    CsvParser(const QString& path, QChar delimiter, Worksheet& sheet)
        : path_(path), delimiter_(delimiter), sheet_(sheet)
    {
    }

    void feed(QStringView block);
    // Ends the last record and hands the pool to the sheet; throws when a
    // quoted field is still open.
    void finish();

private:
    enum class State {
        FieldStart, // also at the start of a record
        AfterCr,    // a record ended in CR; an LF right after belongs to it
        Unquoted,
        Quoted,
        QuotedAfterCr, // a line break inside a quoted field began with CR
        QuoteInQuoted, // a quote inside a quoted field: the end, or the first of two
        AfterQuoted,   // text after the closing quote, which joins the field
    };

    void parse();
    // Moves the characters [from, to) of a quoted field to its end so far.
    void keep(qsizetype from, qsizetype to);
    void keep(QChar c);
    void checkLength(qsizetype length) const;
    void endField(qsizetype end);
    void endRecord();
    [[noreturn]] void refuse(const QString& what) const;

    const QString& path_;
    const QChar delimiter_;
    Worksheet& sheet_;
    QString pool_;
    qsizetype position_ = 0; // the next character to read
    State state_ = State::FieldStart;
    int row_ = 1;
    int column_ = 1;
    int quoteRow_ = 0;
    qsizetype cells_ = 0;
    qsizetype fieldStart_ = 0;
    // For a quoted field, where its next character goes; its text then ends there.
    qsizetype fieldEnd_ = 0;
};

void CsvParser::feed(QStringView block)
{
    pool_ += block;
    parse();
    if (state_ == State::Unquoted)
        checkLength(position_ - fieldStart_);
}

void CsvParser::parse()
{
    QChar* const text = pool_.data();
    const qsizetype size = pool_.size();
    qsizetype p = position_;
    while (p < size) {
        switch (state_) {
        case State::AfterCr:
            state_ = State::FieldStart;
            if (text[p] == u'\n') {
                ++p;
                break;
            }
            [[fallthrough]];
        case State::FieldStart:
            if (row_ > MaxRows)
                refuse(QStringLiteral("超过%1行").arg(MaxRows));
            if (text[p] == u'"') {
                state_ = State::Quoted;
                quoteRow_ = row_;
                fieldStart_ = fieldEnd_ = ++p;
            } else {
                state_ = State::Unquoted;
                fieldStart_ = p;
            }
            break;
        case State::Unquoted: {
            while (p < size && text[p] != delimiter_ && text[p] != u'\n' && text[p] != u'\r')
                ++p;
            if (p == size)
                break;
            endField(p);
            if (text[p] != delimiter_)
                endRecord();
            state_ = text[p] == u'\r' ? State::AfterCr : State::FieldStart;
            ++p;
            break;
        }
        case State::QuotedAfterCr:
            state_ = State::Quoted;
            if (text[p] == u'\n')
                ++p;
            break;
        case State::Quoted: {
            const qsizetype from = p;
            while (p < size && text[p] != u'"' && text[p] != u'\r')
                ++p;
            keep(from, p);
            if (p == size)
                break;
            if (text[p] == u'"') {
                state_ = State::QuoteInQuoted;
            } else {
                keep(u'\n');
                state_ = State::QuotedAfterCr;
            }
            ++p;
            break;
        }
        case State::QuoteInQuoted:
            if (text[p] == u'"') {
                keep(u'"');
                state_ = State::Quoted;
                ++p;
            } else {
                state_ = State::AfterQuoted;
            }
            break;
        case State::AfterQuoted: {
            const qsizetype from = p;
            while (p < size && text[p] != delimiter_ && text[p] != u'\n' && text[p] != u'\r')
                ++p;
            keep(from, p);
            if (p == size)
                break;
            endField(fieldEnd_);
            if (text[p] != delimiter_)
                endRecord();
            state_ = text[p] == u'\r' ? State::AfterCr : State::FieldStart;
            ++p;
            break;
        }
        }
    }
    position_ = p;
}

void CsvParser::keep(qsizetype from, qsizetype to)
{
    if (fieldEnd_ != from)
        std::copy(pool_.constData() + from, pool_.constData() + to, pool_.data() + fieldEnd_);
    fieldEnd_ += to - from;
    checkLength(fieldEnd_ - fieldStart_);
}

void CsvParser::keep(QChar c)
{
    pool_[fieldEnd_++] = c;
    checkLength(fieldEnd_ - fieldStart_);
}

void CsvParser::checkLength(qsizetype length) const
{
    if (length > MaxCellChars) {
        refuse(QStringLiteral("第%1行第%2列的字段超过%3个字符%4")
                   .arg(row_)
                   .arg(column_)
                   .arg(MaxCellChars)
                   .arg(state_ == State::Unquoted ? QString() : QStringLiteral("（可能是引号没有闭合）")));
    }
}

void CsvParser::finish()
{
    switch (state_) {
    case State::Quoted:
    case State::QuotedAfterCr:
        refuse(QStringLiteral("第%1行开始的带引号字段没有结束引号，文件可能不完整").arg(quoteRow_));
    case State::Unquoted:
        endField(position_);
        break;
    case State::QuoteInQuoted:
    case State::AfterQuoted:
        endField(fieldEnd_);
        break;
    case State::FieldStart:
    case State::AfterCr:
        break;
    }
    pool_.squeeze();
    sheet_.usePool(std::move(pool_));
}

void CsvParser::endField(qsizetype end)
{
    if (column_ > MaxColumns)
        refuse(QStringLiteral("第%1行超过%2列").arg(row_).arg(MaxColumns));
    checkLength(end - fieldStart_);
    if (end > fieldStart_) {
        if (++cells_ > MaxCells)
            refuse(QStringLiteral("单元格超过%1个，超出本程序能读取的范围").arg(MaxCells));
        sheet_.setPooledText(row_, column_, fieldStart_, end - fieldStart_);
    }
    ++column_;
}

void CsvParser::endRecord()
{
    ++row_;
    column_ = 1;
}

void CsvParser::refuse(const QString& what) const
{
    throw WorkbookError(QStringLiteral("无法读取文本文件“%1”：%2。").arg(path_, what));
}

class CsvWorkbook final : public Workbook {
public:
    explicit CsvWorkbook(const QString& path) : path_(path) { names_.append(QFileInfo(path).completeBaseName()); }

protected:
    Worksheet readSheet(int) override
    {
        const text::FileBytes file(path_);
        const QByteArrayView bytes = file.bytes();
        const QString head = text::DecodeHead(bytes.first(std::min(bytes.size(), HeadBytes))).value_or(QString());
        const QChar delimiter = detectDelimiter(head, bytes.size() <= HeadBytes);
        Worksheet sheet(names_.front());
        std::optional<CsvParser> parser;
        parser.emplace(path_, delimiter, sheet);
        text::DecodeTextFile(
            path_, bytes, {}, [&](QStringView block) { parser->feed(block); },
            [&] {
                sheet = Worksheet(names_.front());
                parser.emplace(path_, delimiter, sheet);
            });
        parser->finish();
        return sheet;
    }

private:
    QString path_;
};

} // namespace

std::unique_ptr<Workbook> OpenCsv(const QString& path)
{
    return std::make_unique<CsvWorkbook>(path);
}

} // namespace workbook
