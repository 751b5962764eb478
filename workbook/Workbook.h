#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace workbook {

// Every failure of binding or reading a workbook; the description is in
// Chinese and says what is wrong, so it can follow "数据分析失败！" as it is.
class WorkbookError : public std::runtime_error {
public:
    explicit WorkbookError(const QString& description);
    QString description() const { return description_; }

private:
    QString description_;
};

struct CellValue {
    enum class Kind : uint8_t { Empty, Number, Text, Date, Boolean, Error };
    Kind kind = Kind::Empty;
    // Number: the value; Date: the serial day in the 1900 date system (whole
    // days since 1899-12-30, the fraction is the time of day); Boolean: 0 or 1.
    double number = 0;
    // Text: the text; Error: the error's name, such as "#DIV/0!".
    QString text;

    static CellValue fromNumber(double v) { return {Kind::Number, v, {}}; }
    static CellValue fromText(QString t) { return {Kind::Text, 0, std::move(t)}; }
    static CellValue fromDate(double serial) { return {Kind::Date, serial, {}}; }
    static CellValue fromBoolean(bool b) { return {Kind::Boolean, b ? 1.0 : 0.0, {}}; }
    static CellValue fromError(QString name) { return {Kind::Error, 0, std::move(name)}; }
};

// The largest sheet: 1048576 rows of 16384 columns.
inline constexpr int MaxRows = 1048576;
inline constexpr int MaxColumns = 16384;

// "C" for column 3, "AA" for column 27.
QString ColumnName(int column);
// "C5" for row 5, column 3.
QString CellAddress(int row, int column);

// The in-memory table of one worksheet, read once; rows and columns from 1.
// Only the cells present are stored, in one array ordered by row and column,
// with the texts in a pool beside it: a sheet that claims a huge extent costs
// no more than the cells it really holds, and a big sheet costs no allocation
// per row or per number.
class Worksheet {
public:
    explicit Worksheet(QString name = {}) : name_(std::move(name)) {}

    const QString& name() const { return name_; }
    // For readers that learn the name after the cells, as from a table's caption.
    void rename(QString name) { name_ = std::move(name); }
    // An absent cell, or one outside the sheet, is empty.
    CellValue cell(int row, int column) const;
    // The cell's text: empty, text unchanged, numbers in plain decimal form,
    // dates "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss" or "HH:mm:ss", truth values
    // "TRUE"/"FALSE". An error value has no text: throws WorkbookError naming
    // the cell and the error.
    QString text(int row, int column) const;

    // Readers store cells through this, best row by row and left to right; a
    // later value for the same cell replaces the earlier. A cell beyond column
    // MaxColumns, the last of the widest sheets, is not stored.
    void set(int row, int column, CellValue value);
    // The texts that many cells share, such as a workbook's shared strings;
    // setSharedText stores a cell showing the one at `index`, which must lie
    // within them. Cells keep them alive.
    using SharedStrings = std::shared_ptr<const std::vector<QString>>;
    void useSharedStrings(SharedStrings strings) { shared_ = std::move(strings); }
    void setSharedText(int row, int column, uint32_t index);
    // Texts that lie in one block, such as the content of a text file:
    // setPooledText stores a cell showing the `length` code units at `offset`
    // in the pool that usePool hands over before the first read, so no string
    // is made per cell until the cell is read. Throws WorkbookError for a
    // pool beyond 4 Gi code units.
    void setPooledText(int row, int column, qsizetype offset, qsizetype length);
    // A pool of UTF-16 characters...
    void usePool(QString pool) { pool_ = std::move(pool); }
    // ... or of UTF-8 bytes that `owner` keeps.
    void usePool(const char* utf8, std::shared_ptr<const void> owner)
    {
        utf8Pool_ = utf8;
        poolOwner_ = std::move(owner);
    }
    // A reader that knows how many more cells will come says so first, so
    // the table is allocated once at its size instead of regrown.
    void reserve(qsizetype cells);
    int lastRow() const;
    // The rightmost column holding a cell in the row; 0 for a row without cells.
    int lastColumn(int row) const;
    qsizetype cellCount() const;

private:
    // Where the text of a Text or Error cell is.
    enum class Storage : uint8_t { Own, Shared, Pooled };
    struct Slice {
        uint32_t offset;
        uint32_t length;
    };
    struct Cell {
        int32_t row;
        uint16_t column;
        CellValue::Kind kind;
        Storage storage;
        union {
            double number;   // Number, Date, Boolean
            uint32_t string; // Own, Shared: the index in strings_ or shared_
            Slice slice;     // Pooled: where in pool_
        };
    };
    // Where the cells of a row start in cells_; the rows holding cells only.
    struct RowStart {
        int32_t row;
        uint32_t first;
    };
    struct CellRange {
        const Cell* begin;
        const Cell* end;
    };

    static uint64_t orderKey(const Cell& cell) { return uint64_t(uint32_t(cell.row)) << 16 | cell.column; }

    CellRange rowCells(int row) const;
    const Cell* find(int row, int column) const;
    QString string(const Cell& cell) const;
    bool acceptable(int row, int column) const { return row >= 1 && column >= 1 && column <= MaxColumns; }
    void store(const Cell& cell);
    void arrange() const;

    QString name_;
    // Cells stored out of order are put in order on the first read; until then
    // cells_ is ordered (and rows_ complete) only up to the first of them.
    // QList rather than std::vector: its elements are relocatable, so a big
    // table grows by realloc, which moves no cell and touches no page twice.
    mutable QList<Cell> cells_;
    mutable QList<RowStart> rows_;
    mutable bool ordered_ = true;
    QList<QString> strings_;
    SharedStrings shared_;
    QString pool_;
    const char* utf8Pool_ = nullptr;
    std::shared_ptr<const void> poolOwner_;
};

// The text form of a cell value (see Worksheet::text); row and column only name
// the cell in the error description.
QString CellText(const CellValue& value, int row, int column);

// A workbook file bound by its path, read by its content, never by its
// extension: an OLE2 container is an .xls (or .xlt) workbook; a zip package an
// OpenDocument spreadsheet (.ods) or an Office Open XML workbook (.xlsx, .xlsm,
// .xltx, .xltm); a text file a web page with tables, an Excel 2003 XML
// spreadsheet, or comma-, tab- or semicolon-separated text. Worksheets are
// numbered from 1.
class Workbook {
public:
    virtual ~Workbook() = default;

    // Throws WorkbookError for a file that cannot be read or is no workbook.
    static std::unique_ptr<Workbook> Bind(const QString& path);

    int Count() const { return static_cast<int>(names_.size()); }
    // Throws WorkbookError for a position outside 1..Count().
    QString Name(int position) const;
    // Reads the worksheet on first use; throws WorkbookError for a position
    // outside 1..Count() or a sheet that cannot be read.
    const Worksheet& GetWorksheet(int position);
    // Releases the file and every sheet read.
    virtual void Close();

protected:
    Workbook() = default;
    // Reads the worksheet at index (from 0) into a table.
    virtual Worksheet readSheet(int index) = 0;
    QStringList names_;

private:
    void checkPosition(int position) const;
    std::vector<std::unique_ptr<Worksheet>> sheets_;
};

// The file dialog's filter: the name patterns of every kind of file that
// Bind reads, separated by ";".
QString FileDialogFilter();

} // namespace workbook
