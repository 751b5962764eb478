#pragma once

#include <QString>

namespace workbook {
class Worksheet;
}

namespace contacts {

// The top-left area of a sheet in which its first mobile number, and the
// headings above it, are looked for.
inline constexpr int SearchRows = 100;
inline constexpr int SearchColumns = 100;

// The sheet columns (from 1) that a contact's fields are read from; 0 where
// a field has no column and stays empty.
struct ContactColumns {
    int name = 0;
    int mobile = 0;
    int tel = 0;
    int remark = 0;
    // The row whose headings named the columns; 0 when they are taken by
    // their places beside the mobile column.
    int headingRow = 0;

    friend bool operator==(const ContactColumns&, const ContactColumns&) = default;
};

// The columns of a sheet whose first mobile number lies at (startRow,
// mobileColumn). The nearest non-blank row above it within the top-left
// 100 x 100 cells may name the columns: when it names the mobile column, or at
// least two of name, telephone and remark, each of these comes from the column
// its heading names, and a field without a heading has no column. Otherwise
// the name is left of the mobile column, telephone and remark the two right of it.
// The mobile column serves the mobile number alone. Cells holding error values
// are read as naming nothing.
ContactColumns FindContactColumns(const workbook::Worksheet& sheet, int startRow, int mobileColumn);

// "姓名：B列　手机：D列　电话：—　备注：E列"
QString ColumnsLine(const ContactColumns& columns);

} // namespace contacts
