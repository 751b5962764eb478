#include "workbook/XlsSheet.h"

#include "workbook/BiffRecords.h"
#include "workbook/NumberFormats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace workbook::xls {
namespace {

using namespace biff;

constexpr int kColumnCount = 256;

struct CellHeader {
    int row;
    int column;
    uint16_t style;
};

class SheetReader {
public:
    SheetReader(QByteArrayView stream, const Globals& globals, const SheetEntry& entry)
        : stream_(stream), globals_(globals), entry_(entry), sheet_(entry.name)
    {
        sheet_.useSharedStrings(globals_.sharedStrings);
    }

    Worksheet read()
    {
        qsizetype cells = 0;
        forEachRecord([&](uint16_t id, qsizetype size, const RecordCursor&) { cells += cellCount(id, size); });
        sheet_.reserve(cells);
        forEachRecord([this](uint16_t id, qsizetype size, RecordCursor record) { dispatch(id, size, record); });
        return std::move(sheet_);
    }

private:
    template <typename F>
    void forEachRecord(F&& f) const
    {
        RecordStream records(stream_, entry_.offset);
        if (entry_.offset >= stream_.size() || !records.next() || records.id() != kBof)
            throw CorruptRecord(QStringLiteral("工作表数据的位置不正确"));
        // Charts embedded in the sheet come as BOF ... EOF substreams of their own.
        int depth = 0;
        while (records.next()) {
            if (records.id() == kBof) {
                ++depth;
            } else if (records.id() == kEof) {
                if (depth-- == 0)
                    break;
            } else if (depth == 0) {
                f(records.id(), records.size(), records.cursor());
            }
        }
    }

    // How many cells a record holds, so a first pass sizes the table once.
    static qsizetype cellCount(uint16_t id, qsizetype size)
    {
        switch (id) {
        case kNumber:
        case kRk:
        case kLabelSst:
        case kLabel:
        case kRString:
        case kBoolErr:
        case kFormula:
        case kFormula3:
        case kFormula4:
            return 1;
        case kMulRk:
            return std::max<qsizetype>((size - 6) / 6, 0);
        default:
            return 0;
        }
    }

    void dispatch(uint16_t id, qsizetype size, RecordCursor record)
    {
        switch (id) {
        case kNumber: {
            const CellHeader cell = header(record);
            put(cell, numberValue(record.f64(), cell.style));
            break;
        }
        case kRk: {
            const CellHeader cell = header(record);
            put(cell, numberValue(RkValue(record.u32()), cell.style));
            break;
        }
        case kMulRk:
            readMulRk(record, size);
            break;
        case kLabelSst:
            readLabelSst(record);
            break;
        case kLabel:
        case kRString: {
            const CellHeader cell = header(record);
            put(cell, CellValue::fromText(string16(record)));
            break;
        }
        case kBoolErr:
            readBoolErr(record);
            break;
        case kFormula:
        case kFormula3:
        case kFormula4:
            readFormula(record);
            break;
        case kString:
            readFormulaString(record);
            break;
        default:
            break;
        }
    }

    static CellHeader header(RecordCursor& record)
    {
        const int row = record.u16();
        const int column = record.u16();
        return {row + 1, column + 1, record.u16()};
    }

    void put(const CellHeader& cell, CellValue value)
    {
        // A column Excel cannot show is a damaged record, not a reason to grow the table.
        if (cell.column <= kColumnCount)
            sheet_.set(cell.row, cell.column, std::move(value));
    }

    QString string16(RecordCursor& record) const
    {
        return globals_.biff8 ? record.unicodeString16() : record.byteString16(globals_.codePage);
    }

    CellValue numberValue(double value, uint16_t style) const
    {
        const bool dateStyle = style < globals_.dateStyles.size() && globals_.dateStyles[style];
        const std::optional<double> serial = dateStyle ? DateSerial(value, globals_.date1904) : std::nullopt;
        return serial ? CellValue::fromDate(*serial) : CellValue::fromNumber(value);
    }

    void readMulRk(RecordCursor& record, qsizetype size)
    {
        const int row = record.u16() + 1;
        const int first = record.u16() + 1;
        // Each cell is a style and an RK value; the last column closes the record.
        const qsizetype count = (size - 6) / 6;
        for (qsizetype i = 0; i < count; ++i) {
            const uint16_t style = record.u16();
            const double value = RkValue(record.u32());
            put({row, first + static_cast<int>(i), style}, numberValue(value, style));
        }
    }

    void readLabelSst(RecordCursor& record)
    {
        const CellHeader cell = header(record);
        const uint32_t index = record.u32();
        if (index >= globals_.sharedStrings->size())
            throw CorruptRecord(QStringLiteral("单元格 %1 引用的共享字符串（第 %2 个）不存在")
                                    .arg(CellAddress(cell.row, cell.column))
                                    .arg(index + 1));
        if (cell.column <= kColumnCount)
            sheet_.setSharedText(cell.row, cell.column, index);
    }

    void readBoolErr(RecordCursor& record)
    {
        const CellHeader cell = header(record);
        const uint8_t value = record.u8();
        const bool isError = record.u8() != 0;
        put(cell, isError ? CellValue::fromError(ErrorName(value)) : CellValue::fromBoolean(value != 0));
    }

    void readFormula(RecordCursor& record)
    {
        const CellHeader cell = header(record);
        const uint32_t low = record.u32();
        const uint32_t high = record.u32();
        pendingString_.reset();
        if (high >> 16 != 0xFFFF) {
            const uint64_t bits = static_cast<uint64_t>(high) << 32 | low;
            double value;
            std::memcpy(&value, &bits, sizeof value);
            put(cell, numberValue(value, cell.style));
            return;
        }
        const auto detail = static_cast<uint8_t>(low >> 16);
        switch (low & 0xFF) {
        case 0: // the text follows in a STRING record
            pendingString_ = cell;
            put(cell, CellValue::fromText({}));
            break;
        case 1:
            put(cell, CellValue::fromBoolean(detail != 0));
            break;
        case 2:
            put(cell, CellValue::fromError(ErrorName(detail)));
            break;
        default: // 3: the empty text
            put(cell, CellValue::fromText({}));
            break;
        }
    }

    void readFormulaString(RecordCursor& record)
    {
        if (!pendingString_)
            return;
        put(*pendingString_, CellValue::fromText(string16(record)));
        pendingString_.reset();
    }

    QByteArrayView stream_;
    const Globals& globals_;
    const SheetEntry& entry_;
    Worksheet sheet_;
    std::optional<CellHeader> pendingString_;
};

} // namespace

Worksheet ReadSheet(QByteArrayView stream, const Globals& globals, const SheetEntry& entry)
{
    return SheetReader(stream, globals, entry).read();
}

} // namespace workbook::xls
