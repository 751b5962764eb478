#include "workbook/Workbook.h"

#include "support/Numbers.h"
#include "workbook/Readers.h"
#include "workbook/TextFile.h"
#include "workbook/XlsxPackage.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace workbook {
namespace {

using namespace Qt::StringLiterals;

QString dateText(double serial)
{
    double days = std::floor(serial);
    auto seconds = static_cast<qint64>(std::llround((serial - days) * 86400.0));
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    if (days == 0 && serial > 0)
        return time.toString(QStringLiteral("HH:mm:ss"));
    // Serial days below 61 count the 1900 leap day that never was.
    const QDate base = days < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    const QDate date = base.addDays(static_cast<qint64>(days));
    const QString dateString = date.toString(QStringLiteral("yyyy-MM-dd"));
    return seconds == 0 ? dateString : dateString + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

QString scalarText(CellValue::Kind kind, double number)
{
    switch (kind) {
    case CellValue::Kind::Number:
        return support::NumberText(number);
    case CellValue::Kind::Date:
        return dateText(number);
    case CellValue::Kind::Boolean:
        return number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    default:
        return {};
    }
}

// Enough of a text file to see what it holds.
constexpr qint64 SniffBytes = qint64(64) << 10;

enum class TextKind { Delimited, WebPage, XmlSpreadsheet, OtherXml, NoText };

bool isHtmlElement(QStringView name)
{
    static const QStringList names{
        u"html"_s,  u"head"_s,  u"body"_s,  u"meta"_s,  u"title"_s, u"style"_s, u"script"_s, u"link"_s,
        u"base"_s,  u"table"_s, u"caption"_s, u"thead"_s, u"tbody"_s, u"tfoot"_s, u"tr"_s,  u"th"_s,
        u"td"_s,    u"div"_s,   u"p"_s,     u"br"_s,    u"span"_s,  u"font"_s,  u"b"_s,      u"center"_s,
        u"form"_s,  u"h1"_s,    u"h2"_s,    u"h3"_s,    u"pre"_s,   u"hr"_s,    u"ul"_s,     u"ol"_s};
    return names.contains(name, Qt::CaseInsensitive);
}

// What a text file holds, told by its first markup: an XML spreadsheet has
// the root element "Workbook" (or the processing instruction that names it
// "Excel.Sheet"), a web page a doctype or a first element of HTML. Text that
// starts otherwise is taken for delimited text.
TextKind textKind(const std::optional<QString>& head)
{
    if (!head)
        return TextKind::NoText;
    QStringView rest = QStringView(*head).trimmed();
    bool xml = false;
    while (rest.startsWith(u'<')) {
        if (rest.startsWith(u"<?")) {
            xml = true;
            const qsizetype end = rest.indexOf(u"?>");
            if (rest.startsWith(u"<?mso-application") && rest.first(end < 0 ? rest.size() : end).contains(u"Excel.Sheet"))
                return TextKind::XmlSpreadsheet;
            rest = end < 0 ? QStringView() : rest.sliced(end + 2).trimmed();
        } else if (rest.startsWith(u"<!--")) {
            const qsizetype end = rest.indexOf(u"-->");
            rest = end < 0 ? QStringView() : rest.sliced(end + 3).trimmed();
        } else if (rest.startsWith(u"<!")) {
            qsizetype end = rest.indexOf(u'>');
            const qsizetype subset = rest.indexOf(u'[');
            if (subset >= 0 && subset < end) // the internal subset of a DTD holds markup of its own
                end = rest.indexOf(u"]>", subset) + 1;
            const QStringView declaration = rest.first(end <= 0 ? rest.size() : end);
            if (declaration.startsWith(u"<!doctype html", Qt::CaseInsensitive))
                return TextKind::WebPage;
            if (declaration.startsWith(u"<!DOCTYPE Workbook"))
                return TextKind::XmlSpreadsheet;
            rest = end <= 0 ? QStringView() : rest.sliced(end + 1).trimmed();
        } else {
            qsizetype end = 1;
            while (end < rest.size() && !rest[end].isSpace() && rest[end] != u'>' && rest[end] != u'/')
                ++end;
            const QStringView name = rest.sliced(1, end - 1);
            const QStringView localName = name.sliced(name.lastIndexOf(u':') + 1);
            if (localName == u"Workbook")
                return TextKind::XmlSpreadsheet;
            if (isHtmlElement(localName))
                return TextKind::WebPage;
            return xml ? TextKind::OtherXml : TextKind::Delimited;
        }
    }
    return xml ? TextKind::OtherXml : TextKind::Delimited;
}

WorkbookError errorInCell(int row, int column, const QString& name)
{
    return WorkbookError(QStringLiteral("单元格 %1 含有错误值 %2").arg(CellAddress(row, column), name));
}

} // namespace

WorkbookError::WorkbookError(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description)
{
}

QString ColumnName(int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

QString CellAddress(int row, int column)
{
    return ColumnName(column) + QString::number(row);
}

QString CellText(const CellValue& value, int row, int column)
{
    switch (value.kind) {
    case CellValue::Kind::Text:
        return value.text;
    case CellValue::Kind::Error:
        throw errorInCell(row, column, value.text);
    default:
        return scalarText(value.kind, value.number);
    }
}

CellValue Worksheet::cell(int row, int column) const
{
    const Cell* found = find(row, column);
    if (!found)
        return {};
    if (found->kind == CellValue::Kind::Text || found->kind == CellValue::Kind::Error)
        return {found->kind, 0, string(*found)};
    return {found->kind, found->number, {}};
}

QString Worksheet::text(int row, int column) const
{
    const Cell* found = find(row, column);
    if (!found)
        return {};
    switch (found->kind) {
    case CellValue::Kind::Text:
        return string(*found);
    case CellValue::Kind::Error:
        throw errorInCell(row, column, string(*found));
    default:
        return scalarText(found->kind, found->number);
    }
}

int Worksheet::lastRow() const
{
    arrange();
    return rows_.empty() ? 0 : rows_.back().row;
}

int Worksheet::lastColumn(int row) const
{
    const CellRange cells = rowCells(row);
    return cells.begin == cells.end ? 0 : cells.end[-1].column;
}

qsizetype Worksheet::cellCount() const
{
    arrange();
    return static_cast<qsizetype>(cells_.size());
}

void Worksheet::set(int row, int column, CellValue value)
{
    if (!acceptable(row, column))
        return;
    Cell cell{row, static_cast<uint16_t>(column), value.kind, Storage::Own, {}};
    if (value.kind == CellValue::Kind::Text || value.kind == CellValue::Kind::Error) {
        cell.string = static_cast<uint32_t>(strings_.size());
        strings_.push_back(std::move(value.text));
    } else {
        cell.number = value.number;
    }
    store(cell);
}

void Worksheet::setSharedText(int row, int column, uint32_t index)
{
    if (!acceptable(row, column))
        return;
    Cell cell{row, static_cast<uint16_t>(column), CellValue::Kind::Text, Storage::Shared, {}};
    cell.string = index;
    store(cell);
}

void Worksheet::setPooledText(int row, int column, qsizetype offset, qsizetype length)
{
    if (!acceptable(row, column))
        return;
    if (offset + length > qsizetype(UINT32_MAX))
        throw WorkbookError(QStringLiteral("工作表“%1”的文字超过4 GiB，超出本程序能读取的范围。").arg(name_));
    Cell cell{row, static_cast<uint16_t>(column), CellValue::Kind::Text, Storage::Pooled, {}};
    cell.slice = {static_cast<uint32_t>(offset), static_cast<uint32_t>(length)};
    store(cell);
}

QString Worksheet::string(const Cell& cell) const
{
    switch (cell.storage) {
    case Storage::Own:
        return strings_[cell.string];
    case Storage::Shared:
        return (*shared_)[cell.string];
    case Storage::Pooled:
        break;
    }
    if (utf8Pool_)
        return QString::fromUtf8(utf8Pool_ + cell.slice.offset, cell.slice.length);
    return QString(pool_.constData() + cell.slice.offset, cell.slice.length);
}

void Worksheet::store(const Cell& cell)
{
    if (ordered_ && !cells_.empty()) {
        Cell& last = cells_.back();
        if (orderKey(last) == orderKey(cell)) {
            last = cell;
            return;
        }
        ordered_ = orderKey(last) < orderKey(cell);
    }
    if (ordered_ && (rows_.empty() || rows_.back().row != cell.row))
        rows_.push_back({cell.row, static_cast<uint32_t>(cells_.size())});
    cells_.push_back(cell);
}

void Worksheet::reserve(qsizetype cells)
{
    if (cells > 0)
        cells_.reserve(cells_.size() + cells);
}

Worksheet::CellRange Worksheet::rowCells(int row) const
{
    arrange();
    const RowStart* starts = rows_.constData();
    const qsizetype count = rows_.size();
    qsizetype index = row - 1;
    // In a sheet without gaps the row's entry is at its own index.
    if (index < 0 || index >= count || starts[index].row != row) {
        const RowStart* it = std::lower_bound(starts, starts + count, row,
                                              [](const RowStart& start, int r) { return start.row < r; });
        if (it == starts + count || it->row != row)
            return {nullptr, nullptr};
        index = it - starts;
    }
    const Cell* cells = cells_.constData();
    return {cells + starts[index].first, cells + (index + 1 < count ? starts[index + 1].first : cells_.size())};
}

const Worksheet::Cell* Worksheet::find(int row, int column) const
{
    const CellRange cells = rowCells(row);
    const Cell* it = std::lower_bound(cells.begin, cells.end, column,
                                      [](const Cell& cell, int c) { return cell.column < c; });
    return it != cells.end && it->column == column ? it : nullptr;
}

// Orders the cells by row and column, the last value stored for a cell
// replacing the earlier ones, and indexes the rows.
void Worksheet::arrange() const
{
    if (ordered_)
        return;
    std::stable_sort(cells_.begin(), cells_.end(),
                     [](const Cell& a, const Cell& b) { return orderKey(a) < orderKey(b); });
    auto kept = cells_.begin();
    for (auto it = cells_.begin(); it != cells_.end(); ++it) {
        if (kept != cells_.begin() && orderKey(kept[-1]) == orderKey(*it))
            kept[-1] = *it;
        else
            *kept++ = *it;
    }
    cells_.erase(kept, cells_.end());
    rows_.clear();
    for (qsizetype i = 0; i < cells_.size(); ++i) {
        if (rows_.empty() || rows_.back().row != cells_[i].row)
            rows_.push_back({cells_[i].row, static_cast<uint32_t>(i)});
    }
    ordered_ = true;
}

std::unique_ptr<Workbook> Workbook::Bind(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw WorkbookError(QStringLiteral("“%1”是一个文件夹，不是工作簿文件。").arg(path));
    QFile file(path);
    if (!file.exists())
        throw WorkbookError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray head = file.read(SniffBytes);
    file.close();
    if (head.isEmpty())
        throw WorkbookError(QStringLiteral("文件“%1”是空文件，不是工作簿。").arg(path));
    if (head.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) || StartsWithBiffBof(head))
        return OpenXls(path);
    if (head.startsWith("PK\x03\x04"))
        return OpenZip(path);
    switch (textKind(text::DecodeHead(head))) {
    case TextKind::Delimited:
        return OpenCsv(path);
    case TextKind::WebPage:
        return OpenHtml(path);
    case TextKind::XmlSpreadsheet:
        return OpenSpreadsheetMl(path);
    case TextKind::OtherXml:
        throw WorkbookError(QStringLiteral("文件“%1”是XML文件，但不是Excel 2003 XML表格，本程序不能读取。").arg(path));
    case TextKind::NoText:
        break;
    }
    throw WorkbookError(QStringLiteral("文件“%1”不是本程序能读取的表格文件。本程序读取Excel工作簿（.xls、.xlsx、.xlsm等）、"
                                       "OpenDocument表格（.ods）、CSV和文本文件、网页表格以及Excel 2003 XML表格。")
                            .arg(path));
}

std::unique_ptr<Workbook> OpenZip(const QString& path)
{
    const QByteArray mimeType = xlsx::Package(path).head(QStringLiteral("mimetype"), 100);
    if (mimeType.startsWith("application/vnd.oasis.opendocument.spreadsheet"))
        return OpenOds(path);
    if (mimeType.startsWith("application/vnd.oasis.opendocument"))
        throw WorkbookError(QStringLiteral("“%1”是OpenDocument文档，但不是表格，本程序不能读取。").arg(path));
    return OpenXlsx(path);
}

QString FileDialogFilter()
{
    return QStringLiteral("*.xls;*.xlsx;*.xlsm;*.xltx;*.xltm;*.xlt;*.ods;*.csv;*.txt;*.htm;*.html;*.xml");
}

void OnePassWorkbook::load()
{
    sheets_ = readAll();
    handedOver_.assign(sheets_.size(), false);
    names_.clear();
    for (const Worksheet& sheet : sheets_)
        names_.append(sheet.name());
}

Worksheet OnePassWorkbook::readSheet(int index)
{
    const auto at = static_cast<size_t>(index);
    if (at >= sheets_.size() || handedOver_[at]) {
        const QStringList names = names_;
        load();
        if (names_ != names)
            throw WorkbookError(QStringLiteral("工作簿在读取期间被改动了，请重新选择文件。"));
    }
    handedOver_[at] = true;
    return std::move(sheets_[at]);
}

void OnePassWorkbook::Close()
{
    Workbook::Close();
    sheets_.clear();
    handedOver_.clear();
}

QString Workbook::Name(int position) const
{
    checkPosition(position);
    return names_[position - 1];
}

const Worksheet& Workbook::GetWorksheet(int position)
{
    checkPosition(position);
    if (sheets_.size() != static_cast<size_t>(Count()))
        sheets_.resize(static_cast<size_t>(Count()));
    auto& slot = sheets_[static_cast<size_t>(position - 1)];
    if (!slot)
        slot = std::make_unique<Worksheet>(readSheet(position - 1));
    return *slot;
}

void Workbook::Close()
{
    sheets_.clear();
}

void Workbook::checkPosition(int position) const
{
    if (position < 1 || position > Count())
        throw WorkbookError(QStringLiteral("工作表序号 %1 超出范围：工作簿共有 %2 个工作表。").arg(position).arg(Count()));
}

} // namespace workbook
