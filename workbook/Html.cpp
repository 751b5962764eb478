// Web pages with tables, which many web systems hand out as their "Excel"
// export, often named .xls: each <table> a sheet, each cell the text a
// browser shows in it.
#include "support/Text.h"
#include "workbook/Readers.h"
#include "workbook/TextFile.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace workbook {
namespace {

// The nesting that real pages stay far below; a page nested deeper is built
// to hurt, and the parser's own work grows with the depth.
constexpr int MaxDepth = 1000;
// What browsers accept for the spans of a cell.
constexpr int MaxColspan = 1000;
constexpr int MaxRowspan = 65534;
// Where a page declares its encoding.
constexpr qsizetype DeclarationBytes = qsizetype(64) << 10;

QString fromUtf8(const xmlChar* text, int length = -1)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text), length);
}

bool is(const xmlChar* name, const char* known)
{
    return std::strcmp(reinterpret_cast<const char*>(name), known) == 0;
}

bool isAnyOf(const xmlChar* name, std::initializer_list<const char*> known)
{
    return std::any_of(known.begin(), known.end(), [&](const char* k) { return is(name, k); });
}

// Elements that start on a line of their own.
bool isBlock(const xmlChar* name)
{
    return isAnyOf(name, {"p", "div", "li", "ul", "ol", "dl", "dt", "dd", "h1", "h2", "h3", "h4", "h5", "h6", "pre",
                          "blockquote", "address", "center", "hr", "form", "section", "article", "header", "footer",
                          "nav", "fieldset", "table"});
}

// Elements whose text a browser does not show.
bool isHidden(const xmlChar* name)
{
    return isAnyOf(name, {"script", "style", "head", "title", "template", "noscript", "select"});
}

// The value of attribute `name` in libxml2's list of name/value pairs.
const xmlChar* attribute(const xmlChar** attributes, const char* name)
{
    for (int i = 0; attributes && attributes[i]; i += 2) {
        if (is(attributes[i], name))
            return attributes[i + 1];
    }
    return nullptr;
}

int spanOf(const xmlChar** attributes, const char* name, int least, int most)
{
    const xmlChar* value = attribute(attributes, name);
    if (!value)
        return 1;
    bool ok = false;
    const int span = fromUtf8(value).trimmed().toInt(&ok);
    return ok ? std::clamp(span, least, most) : 1;
}

// The text of a cell as a browser shows it: runs of blanks and line breaks
// in the source become one space, blanks at the start and end of a line go,
// <br> breaks the line, and block elements such as <p> and <div> start a new
// one. A no-break space shows as a space and is not merged with others, but
// is trimmed at the ends like one.
class RenderedText {
public:
    void characters(QStringView text);
    void lineBreak();
    void blockBoundary();
    qsizetype size() const { return text_.size(); }
    QString take();

private:
    QString text_;
    bool space_ = false;
    int lineBreaks_ = 0;
    bool blockBreak_ = false;
};

void RenderedText::characters(QStringView text)
{
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f') {
            space_ = !text_.isEmpty();
            continue;
        }
        if (lineBreaks_ > 0 || blockBreak_)
            text_ += QString(std::max(lineBreaks_, 1), u'\n');
        else if (space_)
            text_ += u' ';
        lineBreaks_ = 0;
        blockBreak_ = false;
        space_ = false;
        text_ += c == QChar::Nbsp ? QChar(u' ') : c;
    }
}

void RenderedText::lineBreak()
{
    if (!text_.isEmpty())
        ++lineBreaks_;
    space_ = false;
}

void RenderedText::blockBoundary()
{
    blockBreak_ = !text_.isEmpty();
    space_ = false;
}

QString RenderedText::take()
{
    QString text = std::move(text_);
    text_ = QString();
    space_ = false;
    lineBreaks_ = 0;
    blockBreak_ = false;
    return support::TrimSpaces(text);
}

// One table being read: its rows, its cells placed around the cells that
// earlier rows span into, and its caption.
struct OpenTable {
    explicit OpenTable(size_t order) : position(order) {}

    size_t position; // among the tables, in the order they start
    Worksheet sheet;
    int depth = 0;
    int row = 0;
    int column = 0; // the last column taken in the row
    bool inCell = false;
    int cellColumn = 0;
    bool inCaption = false;
    QString caption;
    RenderedText text;
    qsizetype cells = 0;
    // For each column, the last row that a cell of an earlier row spans
    // into; kept only once a cell spans rows.
    std::vector<int> spannedUntil;
};

class PageReader {
public:
    explicit PageReader(const QString& path) : path_(path) {}

    // Reads the tables of the page, given as UTF-8.
    std::vector<Worksheet> read(QByteArrayView page);

private:
    static void onStart(void* reader, const xmlChar* name, const xmlChar** attributes);
    static void onEnd(void* reader, const xmlChar* name);
    static void onCharacters(void* reader, const xmlChar* text, int length);

    void start(const xmlChar* name, const xmlChar** attributes);
    void end(const xmlChar* name);
    void characters(QStringView text);
    void startRow(OpenTable& table);
    void startCell(OpenTable& table, const xmlChar** attributes);
    void endCell(OpenTable& table);
    void endTable();
    void stop(const QString& description);
    WorkbookError noTable() const;
    QString sheetName(size_t position, const QString& caption) const;

    const QString& path_;
    htmlParserCtxtPtr context_ = nullptr;
    int depth_ = 0;
    int hiddenDepth_ = 0;
    std::vector<OpenTable> open_;
    size_t tablesStarted_ = 0;
    std::vector<OpenTable> finished_;
    std::optional<QString> failure_;
};

std::vector<Worksheet> PageReader::read(QByteArrayView page)
{
    context_ = page.isEmpty() ? nullptr : htmlCreateMemoryParserCtxt(page.data(), static_cast<int>(page.size()));
    if (!context_)
        throw noTable();
    const std::unique_ptr<htmlParserCtxt, decltype(&htmlFreeParserCtxt)> owner(context_, &htmlFreeParserCtxt);
    htmlSAXHandler handler{};
    handler.startElement = &PageReader::onStart;
    handler.endElement = &PageReader::onEnd;
    handler.characters = &PageReader::onCharacters;
    std::memcpy(context_->sax, &handler, sizeof handler);
    context_->userData = this;
    // The page is handed over as UTF-8 whatever it declares; nothing is fetched.
    htmlCtxtUseOptions(context_, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC
                                     | HTML_PARSE_NOIMPLIED);
    xmlSwitchEncoding(context_, XML_CHAR_ENCODING_UTF8);
    htmlParseDocument(context_);
    if (failure_)
        throw WorkbookError(*failure_);
    while (!open_.empty())
        endTable();

    // Tables without a cell of text (spacers, layout) are no sheets.
    std::erase_if(finished_, [](const OpenTable& table) { return table.cells == 0; });
    if (finished_.empty())
        throw noTable();
    // Inner tables end first; the sheets follow the order in which the tables start.
    std::sort(finished_.begin(), finished_.end(),
              [](const OpenTable& a, const OpenTable& b) { return a.position < b.position; });
    std::vector<Worksheet> sheets;
    for (OpenTable& table : finished_) {
        table.sheet.rename(sheetName(table.position, table.caption));
        sheets.push_back(std::move(table.sheet));
    }
    return sheets;
}

WorkbookError PageReader::noTable() const
{
    return WorkbookError(QStringLiteral("网页文件“%1”中没有含内容的表格（<table>），无法从中读取联系人。").arg(path_));
}

// A table is named by its caption; else, as the page's only table, after the
// file; else by its place among the tables.
QString PageReader::sheetName(size_t position, const QString& caption) const
{
    if (!caption.isEmpty())
        return caption;
    if (finished_.size() == 1)
        return QFileInfo(path_).completeBaseName();
    return QStringLiteral("表格%1").arg(position + 1);
}

void PageReader::onStart(void* reader, const xmlChar* name, const xmlChar** attributes)
{
    static_cast<PageReader*>(reader)->start(name, attributes);
}

void PageReader::onEnd(void* reader, const xmlChar* name)
{
    static_cast<PageReader*>(reader)->end(name);
}

void PageReader::onCharacters(void* reader, const xmlChar* text, int length)
{
    auto* self = static_cast<PageReader*>(reader);
    if (!self->failure_ && self->hiddenDepth_ == 0)
        self->characters(fromUtf8(text, length));
}

// libxml2 is C: a failure cannot be thrown through it, so the parser is
// stopped and the failure thrown once it has returned.
void PageReader::stop(const QString& description)
{
    if (!failure_)
        failure_ = QStringLiteral("无法读取网页文件“%1”：%2。").arg(path_, description);
    xmlStopParser(context_);
}

void PageReader::start(const xmlChar* name, const xmlChar** attributes)
{
    if (failure_)
        return;
    if (++depth_ > MaxDepth)
        return stop(QStringLiteral("元素（例如表格）嵌套超过%1层").arg(MaxDepth));
    if (hiddenDepth_ != 0)
        return;
    if (isHidden(name)) {
        hiddenDepth_ = depth_;
        return;
    }
    if (is(name, "table")) {
        if (!open_.empty() && open_.back().inCell)
            open_.back().text.blockBoundary();
        open_.emplace_back(tablesStarted_++);
        open_.back().depth = depth_;
        return;
    }
    if (open_.empty())
        return;
    OpenTable& table = open_.back();
    if (is(name, "tr")) {
        startRow(table);
    } else if (is(name, "td") || is(name, "th")) {
        startCell(table, attributes);
    } else if (is(name, "caption")) {
        table.inCaption = true;
    } else if (is(name, "br")) {
        table.text.lineBreak();
    } else if (isBlock(name)) {
        table.text.blockBoundary();
    }
}

void PageReader::end(const xmlChar* name)
{
    if (failure_)
        return;
    if (depth_ == hiddenDepth_)
        hiddenDepth_ = 0;
    --depth_;
    if (hiddenDepth_ != 0 || open_.empty())
        return;
    OpenTable& table = open_.back();
    if (is(name, "table") && depth_ < table.depth) {
        endTable();
    } else if (is(name, "td") || is(name, "th")) {
        endCell(table);
    } else if (is(name, "caption")) {
        table.caption = table.text.take();
        table.inCaption = false;
    } else if (isAnyOf(name, {"thead", "tbody", "tfoot"})) {
        // Cells do not span from one group of rows into the next.
        table.spannedUntil.clear();
    } else if (isBlock(name)) {
        table.text.blockBoundary();
    }
}

void PageReader::characters(QStringView text)
{
    if (open_.empty())
        return;
    OpenTable& table = open_.back();
    if (!table.inCell && !table.inCaption)
        return;
    table.text.characters(text);
    if (table.text.size() > MaxCellChars)
        stop(QStringLiteral("表格的单元格 %1 的内容超过1 MiB").arg(CellAddress(table.row, table.cellColumn)));
}

void PageReader::startRow(OpenTable& table)
{
    if (table.inCell)
        endCell(table);
    if (table.row == MaxRows)
        return stop(QStringLiteral("表格超过%1行").arg(MaxRows));
    ++table.row;
    table.column = 0;
}

void PageReader::startCell(OpenTable& table, const xmlChar** attributes)
{
    if (table.inCell)
        endCell(table);
    if (table.row == 0)
        startRow(table);
    int column = table.column + 1;
    while (static_cast<size_t>(column) < table.spannedUntil.size()
           && table.spannedUntil[static_cast<size_t>(column)] >= table.row)
        ++column;
    const int columns = spanOf(attributes, "colspan", 1, MaxColspan);
    int rows = spanOf(attributes, "rowspan", 0, MaxRowspan);
    if (rows == 0) // to the end of the group of rows
        rows = MaxRowspan;
    if (column + columns - 1 > MaxColumns)
        return stop(QStringLiteral("表格第%1行超过%2列").arg(table.row).arg(MaxColumns));
    if (rows > 1) {
        const auto last = static_cast<size_t>(column + columns - 1);
        if (table.spannedUntil.size() <= last)
            table.spannedUntil.resize(last + 1, 0);
        for (size_t c = static_cast<size_t>(column); c <= last; ++c)
            table.spannedUntil[c] = std::max(table.spannedUntil[c], table.row + rows - 1);
    }
    table.cellColumn = column;
    table.column = column + columns - 1;
    table.inCell = true;
}

void PageReader::endCell(OpenTable& table)
{
    if (!table.inCell)
        return;
    table.inCell = false;
    const QString text = table.text.take();
    if (text.isEmpty())
        return;
    if (++table.cells > MaxCells)
        return stop(QStringLiteral("表格的单元格超过%1个，超出本程序能读取的范围").arg(MaxCells));
    table.sheet.set(table.row, table.cellColumn, CellValue::fromText(text));
}

void PageReader::endTable()
{
    OpenTable& table = open_.back();
    endCell(table);
    finished_.push_back(std::move(table));
    open_.pop_back();
    if (!open_.empty() && open_.back().inCell)
        open_.back().text.blockBoundary();
}

// The encoding a page names in a <meta> element near its start, as
// <meta charset="gbk"> or <meta http-equiv="Content-Type" content="text/html; charset=gbk">.
QByteArray declaredCharset(QByteArrayView bytes)
{
    static const QRegularExpression meta(QStringLiteral("<meta\\b[^>]*?charset\\s*=\\s*[\"']?\\s*([-\\w.:]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.first(std::min(bytes.size(), DeclarationBytes)));
    const QRegularExpressionMatch match = meta.match(head);
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

class HtmlWorkbook final : public OnePassWorkbook {
public:
    explicit HtmlWorkbook(const QString& path) : path_(path) { load(); }

protected:
    std::vector<Worksheet> readAll() override
    {
        const text::FileBytes file(path_);
        if (file.size() > MaxPageBytes) {
            throw WorkbookError(QStringLiteral("网页文件“%1”超过%2 MiB，超出本程序能读取的范围。")
                                    .arg(path_)
                                    .arg(MaxPageBytes >> 20));
        }
        const text::Encoding encoding = text::DetectEncoding(path_, file.bytes(), declaredCharset(file.bytes()));
        if (encoding.asUtf8)
            return PageReader(path_).read(file.bytes().sliced(encoding.byteOrderMark));
        QByteArray page;
        text::Decode(file.bytes(), encoding, [&](QStringView block) { page += block.toUtf8(); });
        return PageReader(path_).read(page);
    }

private:
    // A page of a million contacts is about 200 MiB.
    static constexpr qsizetype MaxPageBytes = qsizetype(256) << 20;

    QString path_;
};

} // namespace

std::unique_ptr<Workbook> OpenHtml(const QString& path)
{
    return std::make_unique<HtmlWorkbook>(path);
}

} // namespace workbook
