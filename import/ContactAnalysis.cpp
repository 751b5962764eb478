#include "import/ContactAnalysis.h"

#include "support/CodePage.h"
#include "support/Numbers.h"
#include "support/Text.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace contacts {
namespace {

constexpr qsizetype NameFieldBytes = 17;
constexpr int SearchRows = 100;
constexpr int SearchColumns = 100;
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

bool isMobile(QStringView text)
{
    return GetDataType(text) == DataTypeMobile;
}

struct CellPosition {
    int row = 0;
    int column = 0;
};

std::optional<CellPosition> findStartCell(const workbook::Worksheet& sheet)
{
    for (int row = 1; row <= SearchRows; ++row) {
        for (int column = 1; column <= SearchColumns; ++column) {
            const QString text = sheet.text(row, column);
            if (!text.isEmpty() && isMobile(text))
                return CellPosition{row, column};
        }
    }
    return std::nullopt;
}

// A mobile text that is no mobile number is either 11 digits, a separator and
// a landline number, or a landline number alone; either way the telephone cell
// of the row gives way to it.
void splitMobileText(Linkman& contact)
{
    if (isMobile(contact.mobile))
        return;
    const QStringView mobileText(contact.mobile);
    if (isMobile(mobileText.left(11))) {
        contact.tel = support::TrimLeadingSpaces(mobileText.mid(12));
        contact.mobile.truncate(11);
    } else {
        contact.tel = contact.mobile;
        contact.mobile.clear();
    }
}

// Writes each contact as it is read, so that after a failure the result holds
// everything written up to it, including a partly filled last row.
void readContacts(const workbook::Worksheet& sheet, CellPosition start, ListEntries entries, SheetAnalysis& result)
{
    const int mobileColumn = start.column;
    // Most rows from the start cell down are contacts.
    const auto rows = static_cast<size_t>(std::max(sheet.lastRow() - start.row + 1, 0));
    result.table.reserve(rows);
    const bool makeEntries = entries == ListEntries::Made;
    if (makeEntries)
        result.entries.reserve(static_cast<qsizetype>(rows));
    int blankRows = 0;
    for (int row = start.row;; row = support::CheckedAdd(row, 1)) {
        QString mobile = support::TrimSpaces(sheet.text(row, mobileColumn));
        QString name = mobileColumn > 1 ? sheet.text(row, mobileColumn - 1) : QString();
        if (name.isEmpty() && mobile.isEmpty()) {
            if (++blankRows > BlankRowsPassedOver)
                return;
            continue;
        }
        Linkman& contact = result.table.emplace_back();
        contact.tel = sheet.text(row, mobileColumn + 1);
        contact.remark = sheet.text(row, mobileColumn + 2);
        if (name.isEmpty())
            name = mobile;
        contact.name = std::move(name);
        contact.mobile = std::move(mobile);
        splitMobileText(contact);
        if (makeEntries)
            result.entries.append(EntryText(contact));
    }
}

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

int32_t GetDataType(QStringView text)
{
    if (text.size() != 11 || text[0] != u'1' || text[1] < u'3' || text[1] > u'9')
        return DataTypeOther;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return DataTypeOther;
    return DataTypeMobile;
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
        readContacts(sheet, *start, entries, result);
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
