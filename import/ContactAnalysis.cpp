#include "import/ContactAnalysis.h"

#include "import/MobileNumbers.h"
#include "support/CodePage.h"
#include "support/Numbers.h"
#include "support/Text.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace contacts {
namespace {

constexpr qsizetype NameFieldBytes = 17;
constexpr int BlankRowsPassedOver = 3;

// In GBK a byte from 0x81 to 0xFE starts a two-byte character.
bool isLeadByte(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return b >= 0x81 && b <= 0xFE;
}

// The GBK width of a name made of ASCII and the CJK ideographs U+4E00 to
// U+9FA5 (every one of which GBK holds in two bytes), counted without a
// conversion; nothing for any other character.
std::optional<qsizetype> plainGbkWidth(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return 1;
    if (u >= 0x4E00 && u <= 0x9FA5)
        return 2;
    return std::nullopt;
}

// Appends the first characters of text that fill at most `bytes` GBK bytes
// and pads the field with spaces; false, and nothing appended, when text holds
// a character whose width is not known without a conversion.
bool appendPlainField(QString& out, QStringView text, qsizetype bytes)
{
    qsizetype kept = 0;
    qsizetype width = 0;
    for (QChar c : text) {
        const auto charWidth = plainGbkWidth(c);
        if (!charWidth)
            return false;
        if (width + *charWidth > bytes)
            break;
        width += *charWidth;
        ++kept;
    }
    out += text.first(kept);
    out.resize(out.size() + bytes - width, u' ');
    return true;
}

// Appends the name as a field of exactly 17 GBK bytes (see FormatName).
void appendNameField(QString& out, QStringView name)
{
    // Every character takes at least one byte, so no character past the 17th
    // can reach the field.
    const QStringView head = name.left(NameFieldBytes);
    if (appendPlainField(out, head, NameFieldBytes))
        return;
    const QByteArray bytes = support::ToGbk(head);
    qsizetype kept = 0;
    while (kept < bytes.size()) {
        const qsizetype width = isLeadByte(bytes[kept]) ? 2 : 1;
        if (kept + width > NameFieldBytes)
            break;
        kept += width;
    }
    out += support::FromGbk(QByteArrayView(bytes).first(kept));
    out.resize(out.size() + NameFieldBytes - kept, u' ');
}

struct CellPosition {
    int row = 0;
    int column = 0;
};

// The text of a cell that holds a value other than an error.
std::optional<QString> textOf(const workbook::CellValue& value, int row, int column)
{
    if (value.kind == workbook::CellValue::Kind::Error)
        return std::nullopt;
    return workbook::CellText(value, row, column);
}

std::optional<CellPosition> findStartCell(const workbook::Worksheet& sheet)
{
    for (int row = 1; row <= SearchRows; ++row) {
        const int lastColumn = std::min(sheet.lastColumn(row), SearchColumns);
        for (int column = 1; column <= lastColumn; ++column) {
            const std::optional<QString> text = textOf(sheet.cell(row, column), row, column);
            if (text && ReadMobileNumber(*text))
                return CellPosition{row, column};
        }
    }
    return std::nullopt;
}

// Gives the contact the mobile number in the trimmed text of its mobile cell,
// and returns it. A text that is no mobile number is either a mobile number,
// a separator and a landline number, or a landline number alone; either way
// the telephone gives way to it.
MobileNumber takeMobileText(Linkman& contact, QString text)
{
    if (const MobileNumber number = ReadMobileNumber(text)) {
        contact.mobile = number.plain ? std::move(text) : number.digits();
        return number;
    }
    // Only a character that is no digit ends a mobile number: "1381234567890"
    // is not 13812345678 followed by more.
    if (text.size() > MobileNumberDigits && !IsWrittenDigit(text[MobileNumberDigits])) {
        const QStringView whole(text);
        if (const MobileNumber number = ReadMobileNumber(whole.first(MobileNumberDigits))) {
            contact.tel = support::TrimLeadingSpaces(whole.sliced(MobileNumberDigits + 1));
            contact.mobile = number.digits();
            return number;
        }
    }
    contact.tel = std::move(text);
    contact.mobile.clear();
    return {};
}

// Finds the contacts whose mobile number an earlier contact has. The numbers
// are noted as the pass reads them and compared once it has ended, sorted: a
// table looked up contact by contact missed the cache on nearly every lookup
// and took a third of the analysis.
class RepeatedNumbers {
public:
    RepeatedNumbers(int startRow, size_t contacts) : startRow_(startRow) { keys_.reserve(contacts); }

    void noteBlankRow(int row) { blankRows_.push_back(row); }

    // Called for each contact with a mobile number, in table order.
    void note(size_t contact, const MobileNumber& number)
    {
        // The readers keep at most 2^24 cells to a sheet.
        if (contact >> ContactBits)
            throw std::length_error("more contacts than the analysis can compare");
        keys_.push_back(number.value << ContactBits | contact);
    }

    // Takes every contact whose number an earlier row has out of the table
    // and the entries, and reports it as passed over, naming that row.
    void passOver(SheetAnalysis& result)
    {
        // The contact's index below the number keeps the contacts of one
        // number in table order. Lists kept in number order need no sort.
        if (!std::is_sorted(keys_.begin(), keys_.end()))
            std::sort(keys_.begin(), keys_.end());
        std::vector<bool> repeated(result.table.size());
        std::vector<SkippedRow> skipped;
        for (auto first = keys_.begin(); first != keys_.end();) {
            const int firstRow = rowOf(contactOf(*first));
            auto next = first + 1;
            for (; next != keys_.end() && (*next >> ContactBits) == (*first >> ContactBits); ++next) {
                const size_t contact = contactOf(*next);
                repeated[contact] = true;
                Linkman& linkman = result.table[contact];
                skipped.push_back({rowOf(contact), std::move(linkman.name), std::move(linkman.mobile),
                                   QStringLiteral("手机号码与第%1行重复").arg(firstRow)});
            }
            first = next;
        }
        if (skipped.empty())
            return;
        std::sort(skipped.begin(), skipped.end(),
                  [](const SkippedRow& a, const SkippedRow& b) { return a.row < b.row; });
        result.skipped = std::move(skipped);
        removeRepeated(result.table, repeated);
        if (!result.entries.isEmpty())
            removeRepeated(result.entries, repeated);
    }

private:
    // A key holds the number above the contact's index; an 11-digit number
    // takes 35 bits.
    static constexpr int ContactBits = 29;

    static size_t contactOf(uint64_t key) { return key & ((uint64_t(1) << ContactBits) - 1); }

    // Every row of the pass but its blank ones, at most three, is a contact.
    int rowOf(size_t contact) const
    {
        int row = startRow_ + static_cast<int>(contact);
        for (int blank : blankRows_) {
            if (blank <= row)
                ++row;
        }
        return row;
    }

    template <typename List> static void removeRepeated(List& list, const std::vector<bool>& repeated)
    {
        size_t kept = 0;
        for (size_t i = 0; i < repeated.size(); ++i) {
            if (!repeated[i])
                list[kept++] = std::move(list[i]);
        }
        list.resize(kept);
    }

    const int startRow_;
    std::vector<int> blankRows_;
    std::vector<uint64_t> keys_;
};

// Reads the rows from the start cell down to the fourth blank row, then looks
// below them for mobile numbers that were left unread.
class RowPass {
public:
    RowPass(const workbook::Worksheet& sheet, int startRow, const ContactColumns& columns, ListEntries entries,
            SheetAnalysis& result)
        : sheet_(sheet), startRow_(startRow), columns_(columns), makeEntries_(entries == ListEntries::Made),
          result_(result),
          // Most rows from the start row down are contacts.
          expected_(static_cast<size_t>(std::max(sheet.lastRow() - startRow + 1, 0))), repeated_(startRow, expected_)
    {
    }

    // Writes each contact as it is read, so that after a failure the result
    // holds everything written up to it, including a partly filled last row
    // (and contacts repeating a number). Returns the row that ended the pass.
    int readContacts()
    {
        result_.table.reserve(expected_);
        if (makeEntries_)
            result_.entries.reserve(static_cast<qsizetype>(expected_));
        int blankRows = 0;
        for (int row = startRow_;; row = support::CheckedAdd(row, 1)) {
            QString mobile = support::TrimSpaces(sheet_.text(row, columns_.mobile));
            QString name = text(row, columns_.name);
            if (name.isEmpty() && mobile.isEmpty()) {
                if (++blankRows > BlankRowsPassedOver) {
                    repeated_.passOver(result_);
                    return row;
                }
                repeated_.noteBlankRow(row);
                continue;
            }
            readContact(row, std::move(name), std::move(mobile));
        }
    }

    // Error values below the pass are no mobile numbers and hold up nothing.
    void reportRowsBelow(int endRow)
    {
        const int lastRow = sheet_.lastRow();
        for (int row = endRow + 1; row <= lastRow; ++row) {
            const std::optional<QString> text = textOf(sheet_.cell(row, columns_.mobile), row, columns_.mobile);
            if (!text)
                continue;
            Linkman contact;
            const QString mobileText = support::TrimSpaces(*text);
            if (!takeMobileText(contact, mobileText))
                continue;
            QString name = columns_.name > 0
                ? textOf(sheet_.cell(row, columns_.name), row, columns_.name).value_or(QString())
                : QString();
            result_.skipped.push_back({row, name.isEmpty() ? mobileText : std::move(name), std::move(contact.mobile),
                                       QStringLiteral("在第%1个空行之后，未读取").arg(BlankRowsPassedOver + 1)});
        }
    }

private:
    QString text(int row, int column) const { return column > 0 ? sheet_.text(row, column) : QString(); }

    void readContact(int row, QString name, QString mobile)
    {
        Linkman& contact = result_.table.emplace_back();
        contact.tel = text(row, columns_.tel);
        contact.remark = text(row, columns_.remark);
        contact.name = name.isEmpty() ? mobile : std::move(name);
        const MobileNumber number = takeMobileText(contact, std::move(mobile));
        if (number)
            repeated_.note(result_.table.size() - 1, number);
        else
            ++result_.withoutMobile;
        if (makeEntries_)
            result_.entries.append(EntryText(contact));
    }

    const workbook::Worksheet& sheet_;
    const int startRow_;
    const ContactColumns columns_;
    const bool makeEntries_;
    SheetAnalysis& result_;
    const size_t expected_;
    RepeatedNumbers repeated_;
};

// The description of the exception being handled; called only inside a catch block.
QString currentFailure()
{
    try {
        throw;
    } catch (const workbook::WorkbookError& error) {
        return error.description();
    } catch (const std::exception& error) {
        return QStringLiteral("读取工作表时发生意外错误：%1").arg(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace

int32_t GetDataType(QStringView text)
{
    return ReadMobileNumber(text) ? DataTypeMobile : DataTypeOther;
}

QString SummaryLine(const SheetAnalysis& analysis)
{
    QString line = QStringLiteral("找到联系人%1个").arg(analysis.table.size());
    if (analysis.withoutMobile > 0)
        line += QStringLiteral("（其中%1个没有手机号码）").arg(analysis.withoutMobile);
    return line + QStringLiteral("，跳过%1行。").arg(analysis.skipped.size());
}

QString SkippedLine(const SkippedRow& row)
{
    return QStringLiteral("第%1行 %2 %3：%4").arg(QString::number(row.row), row.name, row.mobile, row.reason);
}

// Built in one buffer: the analysis makes an entry for every contact row.
QString EntryText(const Linkman& contact)
{
    const bool hasMobile = !contact.mobile.isEmpty();
    QString entry;
    entry.reserve(NameFieldBytes + (hasMobile ? contact.mobile.size() : 4 + contact.tel.size()));
    appendNameField(entry, contact.name);
    if (hasMobile) {
        entry += contact.mobile;
    } else {
        entry += QLatin1String("Tel:");
        entry += contact.tel;
    }
    return entry;
}

QString FormatName(QStringView name)
{
    QString field;
    appendNameField(field, name);
    return field;
}

QString AnalysisMessage(const SheetAnalysis& analysis)
{
    switch (analysis.outcome) {
    case AnalysisOutcome::Analysed:
        break;
    case AnalysisOutcome::UnknownFormat:
        return QStringLiteral("未知的数据格式！");
    case AnalysisOutcome::Failed:
        return QStringLiteral("数据分析失败！") + analysis.description;
    }
    return {};
}

SheetAnalysis AnalyseWorksheet(const workbook::Worksheet& sheet, ListEntries entries)
{
    SheetAnalysis result;
    try {
        const std::optional<CellPosition> start = findStartCell(sheet);
        if (!start) {
            result.outcome = AnalysisOutcome::UnknownFormat;
            return result;
        }
        result.replacesContacts = true;
        result.columns = FindContactColumns(sheet, start->row, start->column);
        RowPass pass(sheet, start->row, result.columns, entries, result);
        pass.reportRowsBelow(pass.readContacts());
        result.outcome = AnalysisOutcome::Analysed;
    } catch (const std::exception&) {
        result.description = currentFailure();
    }
    return result;
}

SheetAnalysis AnalyseSheet(workbook::Workbook& book, int32_t sheetIndex, ListEntries entries)
{
    SheetAnalysis result;
    try {
        const int position = support::CheckedAdd(std::max(sheetIndex, 0), 1);
        result = AnalyseWorksheet(book.GetWorksheet(position), entries);
    } catch (const std::exception&) {
        result.description = currentFailure();
    }
    if (result.outcome == AnalysisOutcome::Failed) {
        // The failure is already being reported; a second one while closing adds nothing.
        try {
            book.Close();
        } catch (const std::exception&) {
        }
    }
    return result;
}

SheetAnalysis AnalyseSheet(const QString& path, int32_t sheetIndex, ListEntries entries)
{
    std::unique_ptr<workbook::Workbook> book;
    try {
        book = workbook::Workbook::Bind(path);
    } catch (const std::exception&) {
        SheetAnalysis result;
        result.description = currentFailure();
        return result;
    }
    return AnalyseSheet(*book, sheetIndex, entries);
}

} // namespace contacts
