#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstring>
#include <stdexcept>

// The record layer of the Excel binary formats BIFF5/BIFF7 and BIFF8: walking
// the records of a workbook stream, reading their fields and the strings that
// run on into CONTINUE records. Nothing here trusts a length from the file: every
// read is checked against the bytes that are really there.
namespace workbook::biff {

enum RecordId : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kFormula3 = 0x0206,
    kString = 0x0207,
    kRk = 0x027E,
    kFormula4 = 0x0406,
    kFormat = 0x041E,
    kBof = 0x0809,
};

// Raised for a record that does not hold what it claims; the text is a Chinese
// description of the damage, which the reader puts into its WorkbookError.
class CorruptRecord : public std::runtime_error {
public:
    explicit CorruptRecord(const QString& description);
    QString description() const { return description_; }

private:
    QString description_;
};

// The body of one record and of the CONTINUE records that follow it. Fixed-size
// fields never straddle two records; character data may, and then the next
// record starts with a fresh option byte.
class RecordCursor {
public:
    RecordCursor(QByteArrayView stream, qsizetype begin, qsizetype end)
        : stream_(stream), pos_(begin), end_(end)
    {
    }

    uint8_t u8() { return fixed<uint8_t>(); }
    uint16_t u16() { return fixed<uint16_t>(); }
    uint32_t u32() { return fixed<uint32_t>(); }
    double f64() { return fixed<double>(); }
    void skip(qsizetype count);
    // No byte left in this record nor in a CONTINUE record after it.
    bool atEnd();
    // Bytes left in the current record, not counting continuations.
    qsizetype available() const { return end_ - pos_; }

    // A BIFF8 Unicode string whose character count has 8 or 16 bits, with its
    // rich-text runs and phonetic block skipped.
    QString unicodeString8() { return unicodeString(u8()); }
    QString unicodeString16() { return unicodeString(u16()); }
    // A BIFF5/BIFF7 byte string in the workbook's code page.
    QString byteString8(int codePage) { return byteString(u8(), codePage); }
    QString byteString16(int codePage) { return byteString(u16(), codePage); }

private:
    template <typename T> T fixed()
    {
        if (available() < static_cast<qsizetype>(sizeof(T)))
            needFixed(sizeof(T));
        T value;
        // The formats are little-endian, as are the machines the tool runs on.
        std::memcpy(&value, stream_.data() + pos_, sizeof(T));
        pos_ += static_cast<qsizetype>(sizeof(T));
        return value;
    }
    void needFixed(size_t size);
    bool enterContinue();
    QString unicodeString(qsizetype length);
    QString byteString(qsizetype length, int codePage);

    QByteArrayView stream_;
    qsizetype pos_;
    qsizetype end_;
};

// Walks the records of a workbook stream from a given position.
class RecordStream {
public:
    explicit RecordStream(QByteArrayView stream, qsizetype position = 0) : stream_(stream), next_(position) {}

    // Moves to the next record; false at the end of the stream.
    bool next();
    uint16_t id() const { return id_; }
    // Where the record's body starts in the stream.
    qsizetype begin() const { return begin_; }
    qsizetype size() const { return end_ - begin_; }
    RecordCursor cursor() const { return {stream_, begin_, end_}; }

private:
    QByteArrayView stream_;
    qsizetype next_;
    qsizetype begin_ = 0;
    qsizetype end_ = 0;
    uint16_t id_ = 0;
};

// The stored number of an RK value: a 30-bit integer or the top 30 bits of a
// double, either of them possibly scaled by 100.
double RkValue(uint32_t rk);

// "#DIV/0!" for the code 0x07 of a BOOLERR or FORMULA record.
QString ErrorName(uint8_t code);

} // namespace workbook::biff
