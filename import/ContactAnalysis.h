#pragma once

#include "import/ContactColumns.h"

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

// DataTypeMobile for a mobile number as people write it (see ReadMobileNumber).
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
// A row of the sheet that holds a mobile number but became no contact.
struct SkippedRow {
    int row = 0; // the sheet's row number, from 1
    QString name;
    QString mobile;
    QString reason;

    friend bool operator==(const SkippedRow&, const SkippedRow&) = default;
};

enum class AnalysisOutcome {
    Analysed,      // read down to the fourth blank row
    UnknownFormat, // no mobile number in rows and columns 1 to 100
    Failed,        // binding or reading failed; see description
};

struct SheetAnalysis {
    AnalysisOutcome outcome = AnalysisOutcome::Failed;
    // Entry k of the contact list shows contact k. After a failure in the row
    // pass the table can hold one more row, partly filled, than there are
    // entries, and contacts whose number an earlier one has are still in it.
    // Empty when the entries were omitted.
    LinkmanTable table;
    QStringList entries;
    // How many contacts of the table have no mobile number.
    qsizetype withoutMobile = 0;
    // What failed, in Chinese; empty unless the outcome is Failed.
    QString description;
    // True once the start cell was found: the caller then replaces its contact
    // table and list by these, also after a failure in the row pass (and keeps
    // them from being imported). False keeps the caller's previous contacts.
    bool replacesContacts = false;
    // Set once the start cell was found.
    ContactColumns columns;
    // In sheet order: the rows whose mobile number an earlier contact has, then
    // those holding a mobile number below the end of the pass.
    std::vector<SkippedRow> skipped;
};

// The message box text for the outcome ("未知的数据格式！", "数据分析失败！"
// followed by the description); empty for Analysed.
QString AnalysisMessage(const SheetAnalysis& analysis);

// "找到联系人N个（其中M个没有手机号码），跳过K行。", the part in brackets only
// when there are such contacts.
QString SummaryLine(const SheetAnalysis& analysis);

// "第12行 张三 13812345678：手机号码与第5行重复"
QString SkippedLine(const SkippedRow& row);

// Whether the analysis also makes the contact list's entry texts; the command
// line shows no list and leaves them out.
enum class ListEntries { Made, Omitted };

// Finds the first mobile number in the sheet's top-left 100 x 100 cells (row by
// row, left to right; a cell holding an error value is none); its column is
// the mobile column, and the other fields' columns are found from there (see
// FindContactColumns). Reads the rows from there down to the fourth blank row,
// counting every blank row of the pass. A mobile number that an earlier
// contact has does not make another contact; it is reported as passed over,
// and so is every mobile number below the end of the pass.
SheetAnalysis AnalyseWorksheet(const workbook::Worksheet& sheet, ListEntries entries = ListEntries::Made);

// Analyses the worksheet at the 0-based sheetIndex (a negative index means the
// first sheet). After a failure the workbook is closed; otherwise it is left
// open for its owner to drop.
SheetAnalysis AnalyseSheet(workbook::Workbook& book, int32_t sheetIndex, ListEntries entries = ListEntries::Made);

// Binds the workbook at path anew and analyses one of its worksheets; the
// workbook is not kept.
SheetAnalysis AnalyseSheet(const QString& path, int32_t sheetIndex, ListEntries entries = ListEntries::Made);

} // namespace contacts
