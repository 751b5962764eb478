#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace workbook {
class Workbook;
class Worksheet;
} // namespace workbook

namespace contacts {

// One contact as the platform receives it; every field is text, an absent
// value the empty text.
struct Linkman {
    QString name;   // field 0
    QString mobile; // field 1
    QString tel;    // field 2
    QString remark; // field 3

    friend bool operator==(const Linkman&, const Linkman&) = default;
};

// The contacts of one worksheet in sheet order, contact k at index k.
using LinkmanTable = std::vector<Linkman>;

// Kind codes of GetDataType; the analysis tells mobile numbers from everything else.
inline constexpr int32_t DataTypeOther = 0;
inline constexpr int32_t DataTypeMobile = 1;

// DataTypeMobile for a mainland mobile number: exactly 11 ASCII digits, the
// first "1", the second 3 to 9. No trimming: " 13812345678" is no mobile number.
int32_t GetDataType(QStringView text);

// The name as a field exactly 17 bytes wide in GBK, so that in a font where a
// Chinese character is twice as wide as an ASCII one the texts after the names
// start in one column: padded with spaces, or cut after its 17th byte. A
// double-byte character that the cut would halve becomes a space; a character
// GBK cannot hold counts as "?".
QString FormatName(QStringView name);

// The contact list's entry for a contact: its name as FormatName lays it
// out, then the mobile number, or "Tel:" and the telephone when there is no
// mobile number.
QString EntryText(const Linkman& contact);

enum class AnalysisOutcome {
    Analysed,      // read down to the fourth blank row
    UnknownFormat, // no mobile number in rows and columns 1 to 100
    Failed,        // binding or reading failed; see description
};

struct SheetAnalysis {
    AnalysisOutcome outcome = AnalysisOutcome::Failed;
    // Entry k of the contact list shows contact k. After a failure in the row
    // pass the table can hold one more row, partly filled, than there are entries.
    // Empty when the entries were omitted.
    LinkmanTable table;
    QStringList entries;
    // What failed, in Chinese; empty unless the outcome is Failed.
    QString description;
    // True once the start cell was found: the caller then replaces its contact
    // table and list by these, also after a failure in the row pass (and keeps
    // them from being imported). False keeps the caller's previous contacts.
    bool replacesContacts = false;
};

// The message box text for the outcome ("未知的数据格式！", "数据分析失败！"
// followed by the description); empty for Analysed.
QString AnalysisMessage(const SheetAnalysis& analysis);

// Whether the analysis also makes the contact list's entry texts; the command
// line shows no list and leaves them out.
enum class ListEntries { Made, Omitted };

// Finds the first mobile number in the sheet's top-left 100 x 100 cells (row by
// row, left to right); its column is the mobile column, the column left of it
// the names, the two right of it telephone and remark. Reads the rows from
// there down to the fourth blank row, counting every blank row of the pass.
SheetAnalysis AnalyseWorksheet(const workbook::Worksheet& sheet, ListEntries entries = ListEntries::Made);

// Analyses the worksheet at the 0-based sheetIndex (a negative index means the
// first sheet). After a failure the workbook is closed; otherwise it is left
// open for its owner to drop.
SheetAnalysis AnalyseSheet(workbook::Workbook& book, int32_t sheetIndex, ListEntries entries = ListEntries::Made);

// Binds the workbook at path anew and analyses one of its worksheets; the
// workbook is not kept.
SheetAnalysis AnalyseSheet(const QString& path, int32_t sheetIndex, ListEntries entries = ListEntries::Made);

} // namespace contacts
