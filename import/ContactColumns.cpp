#include "import/ContactColumns.h"

#include "workbook/Workbook.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>

namespace contacts {
namespace {

using workbook::CellValue;

enum class Field { Mobile, Tel, Remark, Name };

constexpr std::u16string_view MobileWords[] = {u"手机", u"手机号", u"手机号码", u"移动电话", u"mobile", u"cell"};
constexpr std::u16string_view TelWords[] = {u"电话",     u"固话",     u"座机", u"联系电话",  u"办公电话",
                                            u"家庭电话", u"单位电话", u"tel",  u"telephone", u"phone"};
constexpr std::u16string_view RemarkWords[] = {u"备注", u"说明", u"备注信息", u"附注",
                                               u"remark", u"note", u"notes",  u"memo"};
constexpr std::u16string_view NameWords[] = {u"姓名",     u"名字",     u"联系人", u"客户",
                                             u"客户名称", u"客户姓名", u"用户名", u"name"};

struct FieldWords {
    Field field;
    std::span<const std::u16string_view> words;
};

// A heading holding the words of several fields names the first of them here:
// "联系人手机" and "Mobile Phone" head mobile numbers, "客户电话" telephones.
constexpr FieldWords Headings[] = {
    {Field::Mobile, MobileWords},
    {Field::Tel, TelWords},
    {Field::Remark, RemarkWords},
    {Field::Name, NameWords},
};

// What one heading cell names; an exact heading ranks before one that only
// holds a word (客户姓名 holds 客户 and 姓名, 手机号码1 holds 手机号码).
struct Heading {
    Field field;
    bool exact;
};

std::optional<Heading> headingOf(QStringView text)
{
    const QStringView heading = text.trimmed();
    for (const FieldWords& candidate : Headings) {
        bool holds = false;
        for (QStringView word : candidate.words) {
            if (heading.compare(word, Qt::CaseInsensitive) == 0)
                return Heading{candidate.field, true};
            holds = holds || heading.contains(word, Qt::CaseInsensitive);
        }
        if (holds)
            return Heading{candidate.field, false};
    }
    return std::nullopt;
}

// How far right a row's cells are looked at.
int lastSearchedColumn(const workbook::Worksheet& sheet, int row)
{
    return std::min(sheet.lastColumn(row), SearchColumns);
}

bool isBlank(const CellValue& value)
{
    return value.kind == CellValue::Kind::Empty
        || (value.kind == CellValue::Kind::Text && QStringView(value.text).trimmed().isEmpty());
}

bool isBlankRow(const workbook::Worksheet& sheet, int row)
{
    for (int column = 1; column <= lastSearchedColumn(sheet, row); ++column) {
        if (!isBlank(sheet.cell(row, column)))
            return false;
    }
    return true;
}

std::optional<int> nearestRowAbove(const workbook::Worksheet& sheet, int startRow)
{
    for (int row = startRow - 1; row >= 1; --row) {
        if (!isBlankRow(sheet, row))
            return row;
    }
    return std::nullopt;
}

// The best column heading each field, the mobile column left out; among
// headings of equal rank the leftmost.
class HeadingRow {
public:
    HeadingRow(const workbook::Worksheet& sheet, int row, int mobileColumn)
    {
        for (int column = 1; column <= lastSearchedColumn(sheet, row); ++column) {
            const CellValue value = sheet.cell(row, column);
            if (value.kind != CellValue::Kind::Text)
                continue;
            const std::optional<Heading> heading = headingOf(value.text);
            if (!heading)
                continue;
            if (column == mobileColumn)
                namesMobileColumn_ = heading->field == Field::Mobile;
            else
                offer(*heading, column);
        }
    }

    // Whether the row names the columns at all.
    bool namesColumns() const
    {
        const int others = (column(Field::Name) != 0) + (column(Field::Tel) != 0) + (column(Field::Remark) != 0);
        return namesMobileColumn_ || others >= 2;
    }

    int column(Field field) const { return best_[index(field)].column; }

private:
    struct Candidate {
        int column = 0;
        bool exact = false;
    };

    static size_t index(Field field) { return static_cast<size_t>(field); }

    void offer(Heading heading, int column)
    {
        Candidate& best = best_[index(heading.field)];
        if (best.column == 0 || (heading.exact && !best.exact))
            best = {column, heading.exact};
    }

    bool namesMobileColumn_ = false;
    Candidate best_[std::size(Headings)];
};

ContactColumns columnsByPlace(int mobileColumn)
{
    return {mobileColumn > 1 ? mobileColumn - 1 : 0, mobileColumn, mobileColumn + 1, mobileColumn + 2, 0};
}

QString columnText(int column)
{
    return column > 0 ? workbook::ColumnName(column) + QStringLiteral("列") : QStringLiteral("—");
}

} // namespace

ContactColumns FindContactColumns(const workbook::Worksheet& sheet, int startRow, int mobileColumn)
{
    const std::optional<int> row = nearestRowAbove(sheet, startRow);
    if (!row)
        return columnsByPlace(mobileColumn);
    const HeadingRow headings(sheet, *row, mobileColumn);
    if (!headings.namesColumns())
        return columnsByPlace(mobileColumn);
    return {headings.column(Field::Name), mobileColumn, headings.column(Field::Tel), headings.column(Field::Remark),
            *row};
}

QString ColumnsLine(const ContactColumns& columns)
{
    return QStringLiteral("姓名：%1　手机：%2　电话：%3　备注：%4")
        .arg(columnText(columns.name), columnText(columns.mobile), columnText(columns.tel),
             columnText(columns.remark));
}

} // namespace contacts
