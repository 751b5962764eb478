#include "workbook/BiffRecords.h"

#include "support/CodePage.h"

#include <algorithm>

namespace workbook::biff {
namespace {

uint16_t readU16(QByteArrayView bytes, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

QString hexId(uint16_t id)
{
    return QStringLiteral("0x") + QString::number(id, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

CorruptRecord::CorruptRecord(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description)
{
}

void RecordCursor::needFixed(size_t size)
{
    if (available() == 0 && enterContinue() && available() >= static_cast<qsizetype>(size))
        return;
    throw CorruptRecord(QStringLiteral("记录的内容比其字段所需的短"));
}

bool RecordCursor::enterContinue()
{
    // Zero-length CONTINUE records carry nothing and are stepped over.
    while (pos_ == end_ && end_ <= stream_.size() - 4 && readU16(stream_, end_) == kContinue) {
        const qsizetype begin = end_ + 4;
        const qsizetype end = begin + readU16(stream_, end_ + 2);
        if (end > stream_.size())
            throw CorruptRecord(QStringLiteral("CONTINUE 记录的长度超出了数据流的末尾"));
        pos_ = begin;
        end_ = end;
    }
    return pos_ < end_;
}

void RecordCursor::skip(qsizetype count)
{
    while (count > 0) {
        if (available() == 0 && !enterContinue())
            throw CorruptRecord(QStringLiteral("记录的内容比其声明的长度短"));
        const qsizetype step = std::min(count, available());
        pos_ += step;
        count -= step;
    }
}

bool RecordCursor::atEnd()
{
    return available() == 0 && !enterContinue();
}

QString RecordCursor::unicodeString(qsizetype length)
{
    uint8_t options = u8();
    const qsizetype runs = options & 0x08 ? u16() : 0;
    const qsizetype phonetic = options & 0x04 ? static_cast<qsizetype>(u32()) : 0;
    QString text;
    // Most strings lie whole in their record: they are made in one step.
    if (length > 0 && length <= available() && !(options & 0x01)) {
        text = QString::fromLatin1(stream_.data() + pos_, length);
        pos_ += length;
        length = 0;
    } else if (length > 0 && length <= available() / 2 && (options & 0x01)) {
        text = QString(reinterpret_cast<const QChar*>(stream_.data() + pos_), length);
        pos_ += length * 2;
        length = 0;
    } else {
        text.reserve(std::min(length, stream_.size() - pos_));
    }
    while (length > 0) {
        if (available() == 0) {
            if (!enterContinue())
                throw CorruptRecord(QStringLiteral("字符串比其声明的长度短"));
            // A string split across records repeats its option byte, and the
            // two parts may be stored in different widths.
            options = u8();
            continue;
        }
        const char* data = stream_.data() + pos_;
        qsizetype count;
        if (options & 0x01) {
            count = std::min(length, available() / 2);
            if (count == 0)
                throw CorruptRecord(QStringLiteral("字符串的一个字符被记录边界截断"));
            text.append(QStringView(reinterpret_cast<const char16_t*>(data), count));
            pos_ += count * 2;
        } else {
            count = std::min(length, available());
            text.append(QLatin1String(data, count));
            pos_ += count;
        }
        length -= count;
    }
    skip(runs * 4 + phonetic);
    return text;
}

QString RecordCursor::byteString(qsizetype length, int codePage)
{
    if (available() < length)
        throw CorruptRecord(QStringLiteral("字符串比其声明的长度短"));
    const QByteArrayView bytes(stream_.data() + pos_, length);
    pos_ += length;
    return support::FromCodePage(bytes, codePage);
}

bool RecordStream::next()
{
    if (next_ < 0 || next_ > stream_.size() - 4)
        return false;
    id_ = readU16(stream_, next_);
    begin_ = next_ + 4;
    end_ = begin_ + readU16(stream_, next_ + 2);
    if (end_ > stream_.size())
        throw CorruptRecord(QStringLiteral("记录（类型 %1）的长度超出了数据流的末尾").arg(hexId(id_)));
    next_ = end_;
    return true;
}

double RkValue(uint32_t rk)
{
    double value;
    if (rk & 0x02) {
        value = static_cast<int32_t>(rk) >> 2;
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return rk & 0x01 ? value / 100 : value;
}

QString ErrorName(uint8_t code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    case 0x2B:
        return QStringLiteral("#GETTING_DATA");
    default:
        return QStringLiteral("（未知错误代码 0x%1）").arg(code, 2, 16, QLatin1Char('0'));
    }
}

} // namespace workbook::biff
