// OpenDocument spreadsheets (.ods), as LibreOffice and WPS write them: every
// sheet in the package's content.xml.
#include "workbook/Readers.h"
#include "workbook/XlsxFormats.h"
#include "workbook/XlsxPackage.h"

namespace workbook {
namespace {

using xlsx::Attributes;

enum class ValueType { None, Float, Date, Time, Boolean, String, Error };

ValueType valueType(std::string_view name)
{
    if (name == "float" || name == "percentage" || name == "currency")
        return ValueType::Float;
    if (name == "date")
        return ValueType::Date;
    if (name == "time")
        return ValueType::Time;
    if (name == "boolean")
        return ValueType::Boolean;
    if (name == "string")
        return ValueType::String;
    if (name == "error")
        return ValueType::Error;
    return ValueType::None;
}

// The sheets of content.xml. A sheet's rows and cells may be repeated: a row
// of values repeated n times is stored n times, while repeated empty rows and
// cells, which LibreOffice writes to the sheet's last row and column, only
// move the position. Values come from the attributes, so numbers and dates
// read as in the other formats; text from the cell's paragraphs.
class ContentHandler : public xlsx::XmlHandler {
public:
    explicit ContentHandler(const QString& path) : path_(path) {}

    void startElement(std::string_view name, const Attributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view text) override;

    std::vector<Worksheet> sheets;

private:
    struct Cell {
        ValueType type = ValueType::None;
        std::string value; // the attribute that holds the value of its type
        int repeated = 1;
    };

    void startTable(const Attributes& attributes);
    void startRow(const Attributes& attributes);
    void startCell(const Attributes& attributes);
    void startInParagraph(std::string_view name, const Attributes& attributes);
    void endCell();
    void endRow();
    CellValue cellValue() const;
    void addText(std::string_view text);
    [[noreturn]] void refuse(const QString& what) const;

    const QString& path_;
    int depth_ = 0;
    int spreadsheetDepth_ = 0;
    int tableDepth_ = 0;
    int rowDepth_ = 0;
    int cellDepth_ = 0;
    int paragraphDepth_ = 0;
    int skippedDepth_ = 0; // an element whose text is no part of the cell
    qint64 row_ = 1;
    qint64 column_ = 1;
    int rowsRepeated_ = 1;
    Cell cell_;
    std::string text_;
    int paragraphs_ = 0;
    std::vector<std::pair<int, CellValue>> rowCells_;
    qsizetype cells_ = 0;
};

void ContentHandler::startElement(std::string_view name, const Attributes& attributes)
{
    ++depth_;
    if (skippedDepth_ != 0)
        return;
    if (paragraphDepth_ != 0) {
        startInParagraph(name, attributes);
    } else if (cellDepth_ != 0) {
        if (depth_ == cellDepth_ + 1 && (name == "p" || name == "h")) {
            paragraphDepth_ = depth_;
            if (paragraphs_++ > 0)
                addText("\n");
        }
    } else if (spreadsheetDepth_ == 0) {
        if (name == "spreadsheet")
            spreadsheetDepth_ = depth_;
    } else if (tableDepth_ == 0) {
        if (depth_ == spreadsheetDepth_ + 1 && name == "table")
            startTable(attributes);
    } else if (rowDepth_ == 0) {
        if (name == "table-row")
            startRow(attributes);
    } else if (depth_ == rowDepth_ + 1 && (name == "table-cell" || name == "covered-table-cell")) {
        startCell(attributes);
    }
}

void ContentHandler::endElement(std::string_view)
{
    if (depth_ == skippedDepth_)
        skippedDepth_ = 0;
    else if (depth_ == paragraphDepth_)
        paragraphDepth_ = 0;
    else if (depth_ == cellDepth_)
        endCell();
    else if (depth_ == rowDepth_)
        endRow();
    else if (depth_ == tableDepth_)
        tableDepth_ = 0;
    else if (depth_ == spreadsheetDepth_)
        spreadsheetDepth_ = 0;
    --depth_;
}

void ContentHandler::text(std::string_view text)
{
    if (paragraphDepth_ != 0 && skippedDepth_ == 0)
        addText(text);
}

void ContentHandler::addText(std::string_view text)
{
    if (static_cast<qsizetype>(text_.size() + text.size()) > MaxCellChars) {
        refuse(QStringLiteral("工作表“%1”的单元格 %2 的内容超过1 MiB")
                   .arg(sheets.back().name(), CellAddress(static_cast<int>(row_), static_cast<int>(column_))));
    }
    text_ += text;
}

// Spaces, tabs and line breaks are elements in a paragraph; notes and
// annotations hold text of their own.
void ContentHandler::startInParagraph(std::string_view name, const Attributes& attributes)
{
    if (name == "s") {
        int count = 1;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute == "c")
                count = std::clamp(xlsx::ParseIndex(value).value_or(1), 1, static_cast<int>(MaxCellChars));
        });
        addText(std::string(static_cast<size_t>(count), ' '));
    } else if (name == "tab") {
        addText("\t");
    } else if (name == "line-break") {
        addText("\n");
    } else if (name == "note" || name == "annotation" || name == "ruby-text") {
        skippedDepth_ = depth_;
    }
}

void ContentHandler::startTable(const Attributes& attributes)
{
    QString name;
    attributes.forEach([&](std::string_view attribute, std::string_view value) {
        if (attribute == "name")
            name = xlsx::Utf8Text(value);
    });
    sheets.emplace_back(name);
    tableDepth_ = depth_;
    row_ = 1;
    cells_ = 0;
}

void ContentHandler::startRow(const Attributes& attributes)
{
    rowsRepeated_ = 1;
    attributes.forEach([&](std::string_view attribute, std::string_view value) {
        if (attribute == "number-rows-repeated")
            rowsRepeated_ = std::clamp(xlsx::ParseIndex(value).value_or(1), 1, MaxRows);
    });
    rowDepth_ = depth_;
    column_ = 1;
    rowCells_.clear();
}

void ContentHandler::startCell(const Attributes& attributes)
{
    cell_ = {};
    bool error = false;
    std::string_view stringValue;
    bool hasStringValue = false;
    attributes.forEach([&](std::string_view attribute, std::string_view value) {
        if (attribute == "value-type") {
            // LibreOffice marks an error in its own attribute beside office:value-type.
            error |= value == "error";
            if (cell_.type == ValueType::None)
                cell_.type = valueType(value);
        } else if (attribute == "value" || attribute == "date-value" || attribute == "time-value"
                   || attribute == "boolean-value") {
            cell_.value = value;
        } else if (attribute == "string-value") {
            stringValue = value;
            hasStringValue = true;
        } else if (attribute == "number-columns-repeated") {
            cell_.repeated = std::clamp(xlsx::ParseIndex(value).value_or(1), 1, MaxColumns);
        }
    });
    if (error)
        cell_.type = ValueType::Error;
    else if (cell_.type == ValueType::String && hasStringValue)
        cell_.value = stringValue;
    cellDepth_ = depth_;
    text_.clear();
    paragraphs_ = 0;
}

void ContentHandler::endCell()
{
    cellDepth_ = 0;
    CellValue value = cellValue();
    if (value.kind != CellValue::Kind::Empty) {
        if (column_ + cell_.repeated - 1 > MaxColumns)
            refuse(QStringLiteral("工作表“%1”超过%2列").arg(sheets.back().name()).arg(MaxColumns));
        for (int i = 0; i < cell_.repeated - 1; ++i)
            rowCells_.emplace_back(static_cast<int>(column_ + i), value);
        rowCells_.emplace_back(static_cast<int>(column_ + cell_.repeated - 1), std::move(value));
    }
    column_ += cell_.repeated;
}

CellValue ContentHandler::cellValue() const
{
    switch (cell_.type) {
    case ValueType::Float:
        if (const auto number = xlsx::ParseNumber(cell_.value))
            return CellValue::fromNumber(*number);
        break;
    case ValueType::Date:
        if (const auto serial = xlsx::ParseIsoDate(xlsx::Trimmed(cell_.value)))
            return CellValue::fromDate(*serial);
        break;
    case ValueType::Time:
        if (const auto days = xlsx::ParseIsoDuration(cell_.value))
            return CellValue::fromDate(*days);
        break;
    case ValueType::Boolean:
        return CellValue::fromBoolean(xlsx::IsTrue(cell_.value));
    case ValueType::Error:
        return CellValue::fromError(xlsx::Utf8Text(text_));
    case ValueType::String:
        if (!cell_.value.empty())
            return CellValue::fromText(xlsx::Utf8Text(cell_.value));
        break;
    case ValueType::None:
        break;
    }
    return text_.empty() ? CellValue() : CellValue::fromText(xlsx::Utf8Text(text_));
}

void ContentHandler::endRow()
{
    rowDepth_ = 0;
    if (!rowCells_.empty()) {
        const qint64 lastRow = row_ + rowsRepeated_ - 1;
        if (lastRow > MaxRows)
            refuse(QStringLiteral("工作表“%1”超过%2行").arg(sheets.back().name()).arg(MaxRows));
        cells_ += static_cast<qsizetype>(rowCells_.size()) * rowsRepeated_;
        if (cells_ > MaxCells) {
            refuse(QStringLiteral("工作表“%1”的单元格超过%2个（可能是重复次数异常的行或列），超出本程序能读取的范围")
                       .arg(sheets.back().name())
                       .arg(MaxCells));
        }
        Worksheet& sheet = sheets.back();
        for (qint64 row = row_; row < lastRow; ++row)
            for (const auto& [column, value] : rowCells_)
                sheet.set(static_cast<int>(row), column, value);
        // The last copy of the row, most often the only one, takes the values.
        for (auto& [column, value] : rowCells_)
            sheet.set(static_cast<int>(lastRow), column, std::move(value));
    }
    row_ += rowsRepeated_;
}

void ContentHandler::refuse(const QString& what) const
{
    throw WorkbookError(QStringLiteral("无法读取OpenDocument表格“%1”：%2。").arg(path_, what));
}

// Whether the manifest lists content.xml as encrypted, as it does for a
// document saved with a password.
class ManifestHandler : public xlsx::XmlHandler {
public:
    void startElement(std::string_view name, const Attributes& attributes) override
    {
        if (name == "file-entry") {
            inContent_ = false;
            attributes.forEach([&](std::string_view attribute, std::string_view value) {
                if (attribute == "full-path")
                    inContent_ = value == "content.xml";
            });
        } else if (name == "encryption-data" && inContent_) {
            encrypted = true;
        }
    }

    bool encrypted = false;

private:
    bool inContent_ = false;
};

class OdsWorkbook final : public OnePassWorkbook {
public:
    explicit OdsWorkbook(const QString& path) : path_(path) { load(); }

protected:
    std::vector<Worksheet> readAll() override
    {
        xlsx::Package package(path_);
        const QString manifest = QStringLiteral("META-INF/manifest.xml");
        if (package.contains(manifest)) {
            ManifestHandler handler;
            xlsx::ParsePart(package, manifest, handler);
            if (handler.encrypted) {
                throw WorkbookError(QStringLiteral("OpenDocument表格“%1”设有打开密码，本程序不能读取。"
                                                   "请在LibreOffice或WPS中去掉密码另存后再导入。")
                                        .arg(path_));
            }
        }
        ContentHandler handler(path_);
        xlsx::ParsePart(package, QStringLiteral("content.xml"), handler);
        if (handler.sheets.empty())
            throw WorkbookError(QStringLiteral("OpenDocument文件“%1”里没有工作表，不能读取。").arg(path_));
        return std::move(handler.sheets);
    }

private:
    QString path_;
};

} // namespace

std::unique_ptr<Workbook> OpenOds(const QString& path)
{
    return std::make_unique<OdsWorkbook>(path);
}

} // namespace workbook
