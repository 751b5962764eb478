// Comma-, tab- or semicolon-separated text, as spreadsheet programs, CRM
// systems and scripts save contact lists: one sheet, every cell text.
#include "workbook/Readers.h"
#include "workbook/TextFile.h"

#include <QFileInfo>

#include <array>

namespace workbook {
namespace {

constexpr std::array<char, 3> Delimiters{'\t', ';', ','};
// Enough lines to see a layout; few enough to look at only the file's start.
constexpr int SampleRecords = 20;
constexpr qsizetype HeadBytes = qsizetype(64) << 10;

// The number of fields of each record at the start of `head`, quoted fields
// taken whole; a record cut by the end of the head is left out.
std::vector<int> fieldCounts(QStringView head, char delimiter, bool wholeFile)
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
        } else if (c == QLatin1Char(delimiter)) {
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
char detectDelimiter(QStringView head, bool wholeFile)
{
    char best = ',';
    int bestColumns = 1;
    int mostSplit = 0;
    char mostSplitting = ',';
    // Looked at in the order of precedence, each taking over only from a worse one.
    for (const char delimiter : Delimiters) {
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

// Splits text into records and fields as RFC 4180 says: a field in double
// quotes may hold delimiters, line breaks and doubled quotes. Lines end in
// CRLF, LF or CR; a line break inside a field becomes LF, as in the cells of
// a workbook. The text, UTF-8 bytes or UTF-16 characters, lies in one pool
// that the sheet's cells point into: a plain field is stored where it lies,
// a quoted one after its quotes are taken out in place. The pool may grow
// and move between calls of parse, which holds no pointer into it.
template <typename Unit>
class CsvParser {
public:
    CsvParser(const QString& path, char delimiter, Worksheet& sheet) : path_(path), delimiter_(delimiter), sheet_(sheet) {}

    // Parses the pool from where the last call stopped to its end.
    void parse(Unit* pool, qsizetype size);
    // Ends the last record; throws when a quoted field is still open.
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

    // Moves the units [from, to) of a quoted field to its end so far.
    void keep(Unit* pool, qsizetype from, qsizetype to);
    void keep(Unit* pool, char c);
    void checkLength(qsizetype length) const;
    // Ends the field at a delimiter or a line end, `separator`.
    void endField(qsizetype end, Unit separator);
    void endField(qsizetype end);
    void endRecord();
    [[noreturn]] void refuse(const QString& what) const;

    const QString& path_;
    const char delimiter_;
    Worksheet& sheet_;
    qsizetype position_ = 0; // the next unit to read
    State state_ = State::FieldStart;
    int row_ = 1;
    int column_ = 1;
    int quoteRow_ = 0;
    qsizetype cells_ = 0;
    qsizetype fieldStart_ = 0;
    // For a quoted field, where its next unit goes; its text then ends there.
    qsizetype fieldEnd_ = 0;
};

template <typename Unit>
void CsvParser<Unit>::parse(Unit* text, qsizetype size)
{
    // A delimiter, quote or line break is one unit in UTF-8 and UTF-16 alike.
    const auto endsUnquoted = [&](Unit c) { return c == Unit(delimiter_) || c == Unit('\n') || c == Unit('\r'); };
    qsizetype p = position_;
    while (p < size) {
        switch (state_) {
        case State::AfterCr:
            state_ = State::FieldStart;
            if (text[p] == Unit('\n')) {
                ++p;
                break;
            }
            [[fallthrough]];
        case State::FieldStart:
            if (row_ > MaxRows)
                refuse(QStringLiteral("超过%1行").arg(MaxRows));
            if (text[p] == Unit('"')) {
                state_ = State::Quoted;
                quoteRow_ = row_;
                fieldStart_ = fieldEnd_ = ++p;
            } else {
                state_ = State::Unquoted;
                fieldStart_ = p;
            }
            break;
        case State::Unquoted:
            while (p < size && !endsUnquoted(text[p]))
                ++p;
            if (p == size) {
                checkLength(p - fieldStart_);
                break;
            }
            endField(p, text[p]);
            ++p;
            break;
        case State::QuotedAfterCr:
            state_ = State::Quoted;
            if (text[p] == Unit('\n'))
                ++p;
            break;
        case State::Quoted: {
            const qsizetype from = p;
            while (p < size && text[p] != Unit('"') && text[p] != Unit('\r'))
                ++p;
            keep(text, from, p);
            if (p == size)
                break;
            if (text[p] == Unit('"')) {
                state_ = State::QuoteInQuoted;
            } else {
                keep(text, '\n');
                state_ = State::QuotedAfterCr;
            }
            ++p;
            break;
        }
        case State::QuoteInQuoted:
            if (text[p] == Unit('"')) {
                keep(text, '"');
                state_ = State::Quoted;
                ++p;
            } else {
                state_ = State::AfterQuoted;
            }
            break;
        case State::AfterQuoted: {
            const qsizetype from = p;
            while (p < size && !endsUnquoted(text[p]))
                ++p;
            keep(text, from, p);
            if (p == size)
                break;
            endField(fieldEnd_, text[p]);
            ++p;
            break;
        }
        }
    }
    position_ = p;
}

template <typename Unit>
void CsvParser<Unit>::keep(Unit* text, qsizetype from, qsizetype to)
{
    if (fieldEnd_ != from)
        std::copy(text + from, text + to, text + fieldEnd_);
    fieldEnd_ += to - from;
    checkLength(fieldEnd_ - fieldStart_);
}

template <typename Unit>
void CsvParser<Unit>::keep(Unit* text, char c)
{
    text[fieldEnd_++] = Unit(c);
    checkLength(fieldEnd_ - fieldStart_);
}

template <typename Unit>
void CsvParser<Unit>::checkLength(qsizetype length) const
{
    if (length > MaxCellChars) {
        refuse(QStringLiteral("第%1行第%2列的字段过长，超出本程序能读取的范围%3")
                   .arg(row_)
                   .arg(column_)
                   .arg(state_ == State::Unquoted ? QString() : QStringLiteral("（可能是引号没有闭合）")));
    }
}

template <typename Unit>
void CsvParser<Unit>::finish()
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
}

template <typename Unit>
void CsvParser<Unit>::endField(qsizetype end)
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

template <typename Unit>
void CsvParser<Unit>::endField(qsizetype end, Unit separator)
{
    endField(end);
    if (separator != Unit(delimiter_))
        endRecord();
    state_ = separator == Unit('\r') ? State::AfterCr : State::FieldStart;
}

template <typename Unit>
void CsvParser<Unit>::endRecord()
{
    ++row_;
    column_ = 1;
}

template <typename Unit>
void CsvParser<Unit>::refuse(const QString& what) const
{
    throw WorkbookError(QStringLiteral("无法读取文本文件“%1”：%2。").arg(path_, what));
}

// UTF-8 is checked as it is parsed, a block ahead, so a hostile file is
// refused for what its start holds without the rest being read.
constexpr qsizetype Utf8CheckBytes = qsizetype(1) << 20;

class CsvWorkbook final : public Workbook {
public:
    explicit CsvWorkbook(const QString& path) : path_(path) { names_.append(QFileInfo(path).completeBaseName()); }

protected:
    Worksheet readSheet(int) override
    {
        auto file = std::make_shared<text::FileBytes>(path_);
        const QString head = text::DecodeHead(file->bytes().first(std::min(file->size(), HeadBytes))).value_or(QString());
        const char delimiter = detectDelimiter(head, file->size() <= HeadBytes);
        const std::optional<text::Encoding> mark = text::ByteOrderMarkEncoding(file->bytes());
        if (!mark || mark->name == "UTF-8") {
            if (std::optional<Worksheet> sheet = readUtf8(file, mark ? mark->byteOrderMark : 0, delimiter))
                return std::move(*sheet);
            // Not UTF-8 after all; the parse changed the bytes, so they are read afresh.
            file = std::make_shared<text::FileBytes>(path_);
        }
        return readDecoded(*file, mark.value_or(text::Encoding{text::LegacyEncoding}), delimiter);
    }

private:
    // The file's own bytes are the pool; nothing when they are no valid UTF-8.
    std::optional<Worksheet> readUtf8(const std::shared_ptr<text::FileBytes>& file, qsizetype start, char delimiter) const
    {
        Worksheet sheet(names_.front());
        char* const text = file->data() + start;
        const qsizetype size = file->size() - start;
        CsvParser<char> parser(path_, delimiter, sheet);
        for (qsizetype checked = 0; checked < size;) {
            qsizetype end = std::min(checked + Utf8CheckBytes, size);
            // A character is checked whole: the block ends before a continuation byte.
            while (end < size && end > checked && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80)
                --end;
            if (end == checked || !QByteArrayView(text + checked, end - checked).isValidUtf8())
                return std::nullopt;
            parser.parse(text, end);
            checked = end;
        }
        parser.finish();
        sheet.usePool(text, file);
        return sheet;
    }

    Worksheet readDecoded(const text::FileBytes& file, const text::Encoding& encoding, char delimiter) const
    {
        Worksheet sheet(names_.front());
        QString pool;
        CsvParser<char16_t> parser(path_, delimiter, sheet);
        text::Decode(file.bytes(), encoding, [&](QStringView block) {
            pool += block;
            parser.parse(reinterpret_cast<char16_t*>(pool.data()), pool.size());
        });
        parser.finish();
        pool.squeeze();
        sheet.usePool(std::move(pool));
        return sheet;
    }

    QString path_;
};

} // namespace

std::unique_ptr<Workbook> OpenCsv(const QString& path)
{
    return std::make_unique<CsvWorkbook>(path);
}

} // namespace workbook
