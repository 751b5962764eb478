// The XML spreadsheet of Excel 2002/2003 ("XML 电子表格 2003"), which web
// systems write for their "Excel" exports, often named .xls: one XML file
// holding every worksheet.
#include "workbook/Readers.h"
#include "workbook/TextFile.h"
#include "workbook/XlsxFormats.h"
#include "workbook/XmlScanner.h"

namespace workbook {
namespace {

using xlsx::Attributes;

// Excel writes a time of day on its day 0, "1899-12-31T13:30:15.000".
std::optional<double> dateTime(std::string_view text)
{
    constexpr std::string_view dayZero = "1899-12-31T";
    if (text.substr(0, dayZero.size()) == dayZero)
        return xlsx::ParseIsoDate(text.substr(dayZero.size()));
    return xlsx::ParseIsoDate(text);
}

// The worksheets, rows and cells of the document. Elements are told by local
// name: Excel writes them in the default namespace, web systems often with
// the "ss:" prefix. The formatted text of a Data element (HTML elements such
// as <Font> and <B>) counts by its text alone; the Data inside a cell's
// Comment is no value.
class SpreadsheetHandler : public xlsx::XmlHandler {
public:
    explicit SpreadsheetHandler(const QString& path) : path_(path) {}

    void startElement(std::string_view name, const Attributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view text) override;

    std::vector<Worksheet> sheets;

private:
    void startRow(const Attributes& attributes);
    void startCell(const Attributes& attributes);
    void storeCell();
    CellValue value() const;
    int index(const Attributes& attributes, int limit, const char* what) const;
    [[noreturn]] void refuse(const QString& what) const;

    const QString& path_;
    int depth_ = 0;
    int tableDepth_ = 0; // the depth of the open Table element, 0 when none
    int cellDepth_ = 0;
    int dataDepth_ = 0;
    int row_ = 0;
    int column_ = 0;
    int nextColumn_ = 1;
    std::string type_;
    std::string data_;
    bool hasData_ = false;
    qsizetype cells_ = 0;
};

void SpreadsheetHandler::startElement(std::string_view name, const Attributes& attributes)
{
    ++depth_;
    if (depth_ == 1) {
        if (name != "Workbook")
            refuse(QStringLiteral("根元素不是Workbook，不是Excel 2003 XML表格"));
    } else if (depth_ == 2 && name == "Worksheet") {
        QString sheetName;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute == "Name")
                sheetName = xlsx::Utf8Text(value);
        });
        sheets.emplace_back(sheetName.isEmpty() ? QStringLiteral("工作表%1").arg(sheets.size() + 1) : sheetName);
        row_ = 0;
        cells_ = 0;
    } else if (depth_ == 3 && name == "Table" && !sheets.empty()) {
        tableDepth_ = depth_;
    } else if (tableDepth_ != 0 && depth_ == tableDepth_ + 1 && name == "Row") {
        startRow(attributes);
    } else if (tableDepth_ != 0 && depth_ == tableDepth_ + 2 && name == "Cell") {
        startCell(attributes);
    } else if (cellDepth_ != 0 && depth_ == cellDepth_ + 1 && name == "Data") {
        dataDepth_ = depth_;
        hasData_ = true;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute == "Type")
                type_ = xlsx::Trimmed(value);
        });
    }
}

void SpreadsheetHandler::endElement(std::string_view)
{
    if (depth_ == dataDepth_)
        dataDepth_ = 0;
    else if (depth_ == cellDepth_)
        storeCell();
    else if (depth_ == tableDepth_)
        tableDepth_ = 0;
    --depth_;
}

void SpreadsheetHandler::text(std::string_view text)
{
    if (dataDepth_ == 0)
        return;
    if (static_cast<qsizetype>(data_.size() + text.size()) > MaxCellChars)
        refuse(QStringLiteral("工作表“%1”的单元格 %2 的内容超过1 MiB")
                   .arg(sheets.back().name(), CellAddress(row_, column_)));
    data_ += text;
}

void SpreadsheetHandler::startRow(const Attributes& attributes)
{
    const int given = index(attributes, MaxRows, "行号");
    if (given == 0 && row_ == MaxRows)
        refuse(QStringLiteral("工作表“%1”超过%2行").arg(sheets.back().name()).arg(MaxRows));
    row_ = given != 0 ? given : row_ + 1;
    nextColumn_ = 1;
}

void SpreadsheetHandler::startCell(const Attributes& attributes)
{
    const int given = index(attributes, MaxColumns, "列号");
    column_ = given != 0 ? given : nextColumn_;
    if (column_ > MaxColumns)
        refuse(QStringLiteral("工作表“%1”第%2行超过%3列").arg(sheets.back().name()).arg(row_).arg(MaxColumns));
    int mergeAcross = 0;
    attributes.forEach([&](std::string_view attribute, std::string_view value) {
        if (attribute == "MergeAcross")
            mergeAcross = std::min(xlsx::ParseIndex(value).value_or(0), MaxColumns);
    });
    // A merged cell covers the columns to its right; the next cell follows them.
    nextColumn_ = column_ + mergeAcross + 1;
    cellDepth_ = depth_;
    type_.clear();
    data_.clear();
    hasData_ = false;
}

// The ss:Index attribute: 0 when absent; refused outside 1..limit.
int SpreadsheetHandler::index(const Attributes& attributes, int limit, const char* what) const
{
    int found = 0;
    attributes.forEach([&](std::string_view attribute, std::string_view value) {
        if (attribute != "Index")
            return;
        const auto parsed = xlsx::ParseIndex(value);
        if (!parsed || *parsed < 1 || *parsed > limit) {
            refuse(QStringLiteral("工作表“%1”的%2“%3”无效或超出范围（1至%4）")
                       .arg(sheets.back().name(), QString::fromUtf8(what), xlsx::Utf8Text(value))
                       .arg(limit));
        }
        found = *parsed;
    });
    return found;
}

void SpreadsheetHandler::storeCell()
{
    cellDepth_ = 0;
    if (!hasData_ || data_.empty())
        return;
    if (++cells_ > MaxCells)
        refuse(QStringLiteral("工作表“%1”的单元格超过%2个，超出本程序能读取的范围").arg(sheets.back().name()).arg(MaxCells));
    sheets.back().set(row_, column_, value());
}

// Numbers, dates and truth values as the other readers give them; a Number
// or DateTime that is none keeps its text.
CellValue SpreadsheetHandler::value() const
{
    if (type_ == "Number") {
        if (const auto number = xlsx::ParseNumber(data_))
            return CellValue::fromNumber(*number);
    } else if (type_ == "DateTime") {
        if (const auto serial = dateTime(xlsx::Trimmed(data_)))
            return CellValue::fromDate(*serial);
    } else if (type_ == "Boolean") {
        return CellValue::fromBoolean(xlsx::IsTrue(data_));
    } else if (type_ == "Error") {
        return CellValue::fromError(xlsx::Utf8Text(xlsx::Trimmed(data_)));
    }
    return CellValue::fromText(xlsx::Utf8Text(data_));
}

void SpreadsheetHandler::refuse(const QString& what) const
{
    throw WorkbookError(QStringLiteral("无法读取XML表格“%1”：%2。").arg(path_, what));
}

class SpreadsheetMlWorkbook final : public OnePassWorkbook {
public:
    explicit SpreadsheetMlWorkbook(const QString& path) : path_(path) { load(); }

protected:
    std::vector<Worksheet> readAll() override
    {
        const text::FileBytes file(path_);
        xlsx::MemorySource source(std::string_view(file.bytes().data(), static_cast<size_t>(file.bytes().size())));
        SpreadsheetHandler handler(path_);
        try {
            xlsx::ScanXml(source, handler);
        } catch (const xlsx::XmlError& error) {
            throw WorkbookError(describe(error));
        }
        return std::move(handler.sheets);
    }

private:
    QString describe(const xlsx::XmlError& error) const
    {
        switch (error.kind) {
        case xlsx::XmlError::Kind::Dtd:
            return QStringLiteral("XML表格“%1”含有DTD声明，这样的文件可能藏有实体炸弹，本程序不读取。").arg(path_);
        case xlsx::XmlError::Kind::UnknownEncoding:
            return QStringLiteral("XML表格“%1”使用了无法识别的字符编码“%2”，无法读取。").arg(path_, error.detail);
        case xlsx::XmlError::Kind::Malformed:
            break;
        }
        return QStringLiteral("XML表格“%1”已损坏：不是格式正确的XML（第%2行：%3）。").arg(path_).arg(error.line).arg(error.detail);
    }

    QString path_;
};

} // namespace

std::unique_ptr<Workbook> OpenSpreadsheetMl(const QString& path)
{
    return std::make_unique<SpreadsheetMlWorkbook>(path);
}

} // namespace workbook
