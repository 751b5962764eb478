#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace workbook::xls {

struct SheetEntry {
    QString name;
    // Where the sheet's BOF record lies in the workbook stream.
    qsizetype offset = 0;
};

// What the workbook-wide records say, as far as reading cells needs it.
struct Globals {
    bool biff8 = true;
    // The code page of BIFF5/BIFF7 byte strings. Writers that leave out the
    // CODEPAGE record wrote in the system's code page, which for the sheets
    // this tool reads is GBK (936), its own.
    int codePage = 936;
    bool date1904 = false;
    // The worksheets in workbook order; charts, macro sheets and modules left out.
    std::vector<SheetEntry> sheets;
    // For each cell style (XF) index: whether its number format shows a date.
    std::vector<bool> dateStyles;
    // The shared strings (SST) of a BIFF8 workbook; the sheets' text cells
    // refer to them.
    std::shared_ptr<std::vector<QString>> sharedStrings = std::make_shared<std::vector<QString>>();
};

// Why a workbook that needs a password to open cannot be read.
QString EncryptedDescription();

// Reads the records from the workbook stream's first BOF to its EOF, of a
// stream in the clear (DecryptWithDefaultPassword has seen to an encrypted
// one). Throws biff::CorruptRecord for damage.
// namedBook: the stream was called "Book", which decides a BOF of unknown version.
Globals ReadGlobals(QByteArrayView stream, bool namedBook);

} // namespace workbook::xls
