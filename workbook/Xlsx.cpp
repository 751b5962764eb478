#include "workbook/NumberFormats.h"
#include "workbook/Readers.h"
#include "workbook/XlsxFormats.h"
#include "workbook/XlsxPackage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

namespace workbook {
namespace {

using xlsx::Attributes;
using xlsx::Package;
using xlsx::Relationship;
using xlsx::XmlHandler;

using xlsx::IsTrue;
using xlsx::ParseIndex;
using xlsx::ParseNumber;
using xlsx::Trimmed;
using xlsx::Utf8Text;

// More shared strings than cells in a sheet are refused too.
constexpr qsizetype MaxItems = MaxCells;

enum class CellType : uint8_t { Number, SharedString, FormulaString, InlineString, Boolean, Error, IsoDate, Other };

CellType cellType(std::string_view t)
{
    if (t.empty() || t == "n")
        return CellType::Number;
    if (t == "s")
        return CellType::SharedString;
    if (t == "str")
        return CellType::FormulaString;
    if (t == "inlineStr")
        return CellType::InlineString;
    if (t == "b")
        return CellType::Boolean;
    if (t == "e")
        return CellType::Error;
    if (t == "d")
        return CellType::IsoDate;
    return CellType::Other;
}

// The sheet list and the date system of the workbook part. Sheets whose
// relationship is no worksheet (chart sheets, dialog sheets) are left out.
class WorkbookHandler : public XmlHandler {
public:
    struct Sheet {
        QString name;
        QString part; // empty when the workbook names no part for it
    };

    // Without relationships at all, sheets are looked for under their
    // conventional names in `directory`.
    WorkbookHandler(const QString& path, const std::vector<Relationship>& relationships, const QString& directory)
        : path_(path), relationships_(relationships), directory_(directory)
    {
    }

    // Only the workbook's own children count: extensions repeat some names.
    void startElement(std::string_view name, const Attributes& attributes) override
    {
        ++depth_;
        if (depth_ == 1 && name != "workbook")
            throw WorkbookError(QStringLiteral("“%1”不是Excel工作簿：压缩包里的主文档不是工作簿。").arg(path_));
        if (depth_ == 2 && name == "workbookPr") {
            attributes.forEach([&](std::string_view attribute, std::string_view value) {
                if (attribute == "date1904")
                    date1904 = IsTrue(value);
            });
        } else if (depth_ == 2) {
            inSheets_ = name == "sheets";
        } else if (depth_ == 3 && inSheets_ && name == "sheet") {
            addSheet(attributes);
        }
    }

    void endElement(std::string_view) override { --depth_; }

    bool date1904 = false;
    std::vector<Sheet> sheets;

private:
    void addSheet(const Attributes& attributes)
    {
        ++sheetElements_;
        Sheet sheet;
        QString id;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute == "name")
                sheet.name = Utf8Text(value);
            else if (attribute == "id")
                id = Utf8Text(value);
        });
        if (relationships_.empty()) {
            sheet.part = directory_ + QStringLiteral("worksheets/sheet%1.xml").arg(sheetElements_);
        } else {
            const auto found = std::find_if(relationships_.begin(), relationships_.end(),
                                            [&](const Relationship& r) { return r.id == id; });
            if (found != relationships_.end()) {
                if (found->type != u"worksheet")
                    return;
                sheet.part = found->target;
            }
        }
        sheets.push_back(std::move(sheet));
    }

    const QString& path_;
    const std::vector<Relationship>& relationships_;
    const QString& directory_;
    int depth_ = 0;
    bool inSheets_ = false;
    int sheetElements_ = 0;
};

class SharedStringsHandler : public XmlHandler {
public:
    SharedStringsHandler(const QString& path, std::vector<QString>& strings) : path_(path), strings_(strings) {}

    void startElement(std::string_view name, const Attributes&) override
    {
        if (name == "si") {
            if (static_cast<qsizetype>(strings_.size()) >= MaxItems) {
                throw WorkbookError(QStringLiteral("工作簿“%1”的共享字符串超过%2个，超出本程序能读取的范围。")
                                        .arg(path_)
                                        .arg(MaxItems));
            }
            inItem_ = true;
            item_.clear();
        } else if (inItem_) {
            item_.startElement(name);
        }
    }

    void endElement(std::string_view name) override
    {
        if (name == "si") {
            inItem_ = false;
            strings_.push_back(xlsx::DecodeEscapes(item_.value()));
        } else if (inItem_) {
            item_.endElement(name);
        }
    }

    void text(std::string_view text) override
    {
        if (inItem_ && !item_.text(text)) {
            throw WorkbookError(QStringLiteral("工作簿“%1”的第%2个共享字符串超过1 MiB，工作簿已损坏。")
                                    .arg(path_)
                                    .arg(strings_.size() + 1));
        }
    }

private:
    const QString& path_;
    std::vector<QString>& strings_;
    bool inItem_ = false;
    xlsx::StringItemText item_;
};

// Which cell formats (the cellXfs list that a cell's s attribute indexes) show dates.
class StylesHandler : public XmlHandler {
public:
    explicit StylesHandler(std::vector<bool>& dateStyles) : dateStyles_(dateStyles) {}

    void startElement(std::string_view name, const Attributes& attributes) override
    {
        if (name == "numFmt") {
            std::optional<int> id;
            QString code;
            attributes.forEach([&](std::string_view attribute, std::string_view value) {
                if (attribute == "numFmtId")
                    id = ParseIndex(value);
                else if (attribute == "formatCode")
                    code = Utf8Text(value);
            });
            if (id)
                customDate_[*id] = IsDateFormatCode(code);
        } else if (name == "cellXfs") {
            inCellFormats_ = true;
        } else if (name == "xf" && inCellFormats_) {
            int id = 0;
            attributes.forEach([&](std::string_view attribute, std::string_view value) {
                if (attribute == "numFmtId")
                    id = ParseIndex(value).value_or(0);
            });
            const auto custom = customDate_.find(id);
            dateStyles_.push_back(custom != customDate_.end() ? custom->second : IsBuiltInDateFormat(id));
        }
    }

    void endElement(std::string_view name) override
    {
        if (name == "cellXfs")
            inCellFormats_ = false;
    }

private:
    std::vector<bool>& dateStyles_;
    std::unordered_map<int, bool> customDate_;
    bool inCellFormats_ = false;
};

class XlsxWorkbook final : public Workbook {
public:
    explicit XlsxWorkbook(const QString& path);
    void Close() override;

    bool date1904() const { return date1904_; }
    bool isDateStyle(int style) const
    {
        return static_cast<size_t>(style) < dateStyles_.size() && dateStyles_[static_cast<size_t>(style)];
    }
    const std::shared_ptr<std::vector<QString>>& sharedStrings() const { return strings_; }

protected:
    Worksheet readSheet(int index) override;

private:
    Package& package();
    QString findWorkbookPart();
    void readWorkbookPart(const QString& part);
    void loadSharedParts();
    void readSharedStrings();
    void readStyles();

    QString path_;
    std::unique_ptr<Package> package_;
    std::vector<QString> sheetParts_;
    QString sharedStringsPart_;
    QString stylesPart_;
    bool date1904_ = false;
    bool sharedPartsLoaded_ = false;
    std::shared_ptr<std::vector<QString>> strings_;
    std::vector<bool> dateStyles_;
};

// Reads the cells of one worksheet part into a table.
class SheetHandler : public XmlHandler {
public:
    SheetHandler(const XlsxWorkbook& book, Worksheet& sheet) : book_(book), sheet_(sheet)
    {
        sheet_.useSharedStrings(book_.sharedStrings());
    }

    void startElement(std::string_view name, const Attributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view text) override;

private:
    void startRow(const Attributes& attributes);
    void startCell(const Attributes& attributes);
    void store();
    void countCell();
    CellValue numberValue() const;
    uint32_t sharedString() const;
    QString tooLong() const;

    const XlsxWorkbook& book_;
    Worksheet& sheet_;
    bool inSheetData_ = false;
    bool inCell_ = false;
    bool inValue_ = false;
    bool inInline_ = false;
    int row_ = 0;
    int column_ = 0;
    CellType type_ = CellType::Number;
    int style_ = 0;
    bool hasValue_ = false;
    bool hasInline_ = false;
    std::string value_;
    xlsx::StringItemText inline_;
    qsizetype cells_ = 0;
};

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path), package_(std::make_unique<Package>(path))
{
    readWorkbookPart(findWorkbookPart());
}

Package& XlsxWorkbook::package()
{
    if (!package_)
        package_ = std::make_unique<Package>(path_);
    return *package_;
}

void XlsxWorkbook::Close()
{
    Workbook::Close();
    package_.reset();
}

QString XlsxWorkbook::findWorkbookPart()
{
    for (const Relationship& relationship : package().relationships(QString())) {
        if (relationship.type == u"officeDocument")
            return relationship.target;
    }
    const QString conventional = QStringLiteral("xl/workbook.xml");
    if (package().contains(conventional))
        return conventional;
    throw WorkbookError(QStringLiteral("“%1”不是Excel工作簿：压缩包里没有工作簿部件。").arg(path_));
}

void XlsxWorkbook::readWorkbookPart(const QString& part)
{
    if (part.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
        throw WorkbookError(QStringLiteral("不支持二进制格式的Excel工作簿(.xlsb)，请另存为.xlsx或.xls"));
    if (!package().contains(part))
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：缺少工作簿部件 %2。").arg(path_, part));

    const std::vector<Relationship> relationships = package().relationships(part);
    for (const Relationship& relationship : relationships) {
        if (relationship.type == u"sharedStrings")
            sharedStringsPart_ = relationship.target;
        else if (relationship.type == u"styles")
            stylesPart_ = relationship.target;
    }
    const QString directory = part.left(part.lastIndexOf(u'/') + 1);
    if (sharedStringsPart_.isEmpty())
        sharedStringsPart_ = directory + QStringLiteral("sharedStrings.xml");
    if (stylesPart_.isEmpty())
        stylesPart_ = directory + QStringLiteral("styles.xml");

    WorkbookHandler handler(path_, relationships, directory);
    ParsePart(package(), part, handler);
    date1904_ = handler.date1904;
    for (WorkbookHandler::Sheet& sheet : handler.sheets) {
        names_.append(sheet.name);
        sheetParts_.push_back(std::move(sheet.part));
    }
}

void XlsxWorkbook::loadSharedParts()
{
    if (sharedPartsLoaded_)
        return;
    // A read that failed half way is started afresh on the next sheet.
    strings_ = std::make_shared<std::vector<QString>>();
    dateStyles_.clear();
    if (package().contains(sharedStringsPart_))
        readSharedStrings();
    if (package().contains(stylesPart_))
        readStyles();
    sharedPartsLoaded_ = true;
}

void XlsxWorkbook::readSharedStrings()
{
    SharedStringsHandler handler(path_, *strings_);
    ParsePart(package(), sharedStringsPart_, handler);
}

void XlsxWorkbook::readStyles()
{
    StylesHandler handler(dateStyles_);
    ParsePart(package(), stylesPart_, handler);
}

Worksheet XlsxWorkbook::readSheet(int index)
{
    loadSharedParts();
    const QString& part = sheetParts_[static_cast<size_t>(index)];
    if (part.isEmpty() || !package().contains(part)) {
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：找不到工作表“%2”的数据部件。")
                                .arg(path_, names_[index]));
    }
    Worksheet sheet(names_[index]);
    SheetHandler handler(*this, sheet);
    ParsePart(package(), part, handler);
    return sheet;
}

void SheetHandler::startElement(std::string_view name, const Attributes& attributes)
{
    if (inCell_) {
        if (name == "v") {
            inValue_ = true;
            hasValue_ = true;
        } else if (name == "is") {
            inInline_ = true;
            hasInline_ = true;
        } else if (inInline_) {
            inline_.startElement(name);
        }
    } else if (!inSheetData_) {
        inSheetData_ = name == "sheetData";
    } else if (name == "c") {
        startCell(attributes);
    } else if (name == "row") {
        startRow(attributes);
    }
}

void SheetHandler::endElement(std::string_view name)
{
    if (!inCell_) {
        if (name == "sheetData")
            inSheetData_ = false;
    } else if (name == "c") {
        inCell_ = false;
        store();
    } else if (name == "v") {
        inValue_ = false;
    } else if (name == "is") {
        inInline_ = false;
    } else if (inInline_) {
        inline_.endElement(name);
    }
}

void SheetHandler::text(std::string_view text)
{
    if (inValue_) {
        if (value_.size() + text.size() > xlsx::StringItemText::MaxBytes)
            throw WorkbookError(tooLong());
        value_ += text;
    } else if (inInline_ && !inline_.text(text)) {
        throw WorkbookError(tooLong());
    }
}

QString SheetHandler::tooLong() const
{
    return QStringLiteral("工作表“%1”的单元格 %2 的内容超过1 MiB，工作簿已损坏。")
        .arg(sheet_.name(), CellAddress(row_, column_));
}

void SheetHandler::startRow(const Attributes& attributes)
{
    std::optional<int> row;
    attributes.forEach([&](std::string_view name, std::string_view value) {
        if (name == "r")
            row = ParseIndex(value);
    });
    if (row && (*row < 1 || *row > xlsx::MaxRows)) {
        throw WorkbookError(QStringLiteral("工作表“%1”的行号 %2 超出范围（1至%3）。")
                                .arg(sheet_.name())
                                .arg(*row)
                                .arg(xlsx::MaxRows));
    }
    if (!row && row_ == xlsx::MaxRows) {
        throw WorkbookError(QStringLiteral("工作表“%1”的行数超过%2行。").arg(sheet_.name()).arg(xlsx::MaxRows));
    }
    row_ = row ? *row : row_ + 1;
    column_ = 0;
}

void SheetHandler::startCell(const Attributes& attributes)
{
    std::optional<xlsx::CellReference> reference;
    std::string_view badReference;
    type_ = CellType::Number;
    style_ = 0;
    attributes.forEach([&](std::string_view name, std::string_view value) {
        if (name == "r") {
            reference = xlsx::ParseCellReference(value);
            if (!reference)
                badReference = value.empty() ? std::string_view("\"\"") : value;
        } else if (name == "t") {
            type_ = cellType(value);
        } else if (name == "s") {
            style_ = ParseIndex(value).value_or(0);
        }
    });
    if (!badReference.empty()) {
        throw WorkbookError(QStringLiteral("工作表“%1”的单元格地址“%2”无效或超出范围。")
                                .arg(sheet_.name(), Utf8Text(badReference)));
    }
    if (reference) {
        row_ = reference->row;
        column_ = reference->column;
    } else {
        row_ = std::max(row_, 1);
        if (++column_ > xlsx::MaxColumns) {
            throw WorkbookError(QStringLiteral("工作表“%1”第%2行的单元格超过%3列。")
                                    .arg(sheet_.name())
                                    .arg(row_)
                                    .arg(xlsx::MaxColumns));
        }
    }
    inCell_ = true;
    hasValue_ = false;
    hasInline_ = false;
    value_.clear();
    inline_.clear();
}

void SheetHandler::store()
{
    const bool blank = Trimmed(value_).empty();
    CellValue value;
    switch (type_) {
    case CellType::InlineString:
        if (!hasInline_ && !hasValue_)
            return;
        value = CellValue::fromText(xlsx::DecodeEscapes(hasInline_ ? inline_.value() : value_));
        break;
    case CellType::Number:
        if (blank)
            return;
        value = numberValue();
        break;
    case CellType::SharedString:
        if (blank)
            return;
        countCell();
        sheet_.setSharedText(row_, column_, sharedString());
        return;
    case CellType::FormulaString:
    case CellType::Other:
        if (!hasValue_)
            return;
        value = CellValue::fromText(xlsx::DecodeEscapes(value_));
        break;
    case CellType::Boolean:
        if (blank)
            return;
        value = CellValue::fromBoolean(IsTrue(value_));
        break;
    case CellType::Error:
        if (blank)
            return;
        value = CellValue::fromError(Utf8Text(Trimmed(value_)));
        break;
    case CellType::IsoDate: {
        if (blank)
            return;
        const auto serial = xlsx::ParseIsoDate(Trimmed(value_));
        value = serial ? CellValue::fromDate(*serial) : CellValue::fromText(Utf8Text(value_));
        break;
    }
    }
    countCell();
    sheet_.set(row_, column_, std::move(value));
}

void SheetHandler::countCell()
{
    if (++cells_ > MaxItems) {
        throw WorkbookError(QStringLiteral("工作表“%1”的单元格超过%2个，超出本程序能读取的范围。")
                                .arg(sheet_.name())
                                .arg(MaxItems));
    }
}

CellValue SheetHandler::numberValue() const
{
    const auto number = ParseNumber(value_);
    if (!number)
        return CellValue::fromText(Utf8Text(value_));
    // Excel shows no date for a serial outside its calendar; the number stays then.
    const std::optional<double> serial =
        book_.isDateStyle(style_) ? DateSerial(*number, book_.date1904()) : std::nullopt;
    return serial ? CellValue::fromDate(*serial) : CellValue::fromNumber(*number);
}

// The index of the cell's shared string, checked against the table.
uint32_t SheetHandler::sharedString() const
{
    const auto index = ParseIndex(value_);
    if (!index || static_cast<size_t>(*index) >= book_.sharedStrings()->size()) {
        throw WorkbookError(QStringLiteral("工作簿已损坏：工作表“%1”的单元格 %2 引用的共享字符串“%3”不存在。")
                                .arg(sheet_.name(), CellAddress(row_, column_), Utf8Text(value_)));
    }
    return static_cast<uint32_t>(*index);
}

} // namespace

std::unique_ptr<Workbook> OpenXlsx(const QString& path)
{
    return std::make_unique<XlsxWorkbook>(path);
}

} // namespace workbook
