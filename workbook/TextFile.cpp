#include "workbook/TextFile.h"

#include "workbook/Workbook.h"

#include <QStringDecoder>

#include <algorithm>

namespace workbook::text {
namespace {

// Big enough that the per-block cost vanishes, small enough to stay in cache.
constexpr qsizetype BlockBytes = qsizetype(1) << 20;

// The names that web pages and XML files give GBK under; like browsers, the
// reader takes them all as GB18030, which holds every GBK character.
bool namesGbk(const QByteArray& name)
{
    static const char* const names[] = {"gb2312", "gbk", "gb18030", "x-gbk", "chinese", "csgb2312",
                                        "csiso58gb231280", "gb_2312", "gb_2312-80", "iso-ir-58", "cp936",
                                        "windows-936", "ms936"};
    const QByteArray lower = name.trimmed().toLower();
    return std::any_of(std::begin(names), std::end(names), [&](const char* known) { return lower == known; });
}

// Whether the bytes end inside a UTF-8 sequence, which the decoder keeps for
// more input instead of reporting.
bool endsInsideUtf8Sequence(QByteArrayView bytes)
{
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, bytes.size()); ++back) {
        const auto byte = static_cast<uint8_t>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead
        const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back;
    }
    return false;
}

// Decodes all of `bytes`; false as soon as the decoder meets a byte sequence
// that is not in its encoding, when `stopOnError` says so.
bool decodeAll(QByteArrayView bytes, QStringDecoder& decoder, const std::function<void(QStringView)>& consume,
               bool stopOnError)
{
    QString buffer(decoder.requiredSpace(BlockBytes), Qt::Uninitialized);
    for (qsizetype offset = 0; offset < bytes.size(); offset += BlockBytes) {
        const QByteArrayView block = bytes.sliced(offset, std::min(BlockBytes, bytes.size() - offset));
        const QChar* end = decoder.appendToBuffer(buffer.data(), block);
        if (stopOnError && decoder.hasError())
            return false;
        consume(QStringView(buffer.constData(), end - buffer.constData()));
    }
    return true;
}

} // namespace

FileBytes::FileBytes(const QString& path) : file_(path)
{
    if (!file_.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file_.errorString()));
    const qint64 size = file_.size();
    if (size == 0)
        return;
    if (uchar* mapped = file_.map(0, size)) {
        bytes_ = QByteArrayView(reinterpret_cast<const char*>(mapped), size);
        return;
    }
    read_ = file_.readAll();
    if (file_.error() != QFileDevice::NoError)
        throw WorkbookError(QStringLiteral("无法读取文件“%1”：%2").arg(path, file_.errorString()));
    bytes_ = read_;
}

ByteOrderMark FindByteOrderMark(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {"UTF-8", 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {"UTF-16LE", 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {"UTF-16BE", 2};
    return {};
}

std::optional<QString> DecodeHead(QByteArrayView head)
{
    const ByteOrderMark mark = FindByteOrderMark(head);
    head = head.sliced(mark.size);
    QString text;
    if (mark.encoding) {
        QStringDecoder decoder(mark.encoding);
        text = decoder.decode(head);
        if (decoder.hasError())
            return std::nullopt;
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8);
        text = utf8.decode(head);
        if (utf8.hasError()) {
            QStringDecoder legacy(LegacyEncoding);
            text = legacy.decode(head);
            if (legacy.hasError())
                return std::nullopt;
        }
    }
    if (text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

void DecodeTextFile(const QString& path, QByteArrayView bytes, const QByteArray& declared,
                    const std::function<void(QStringView)>& consume, const std::function<void()>& restart)
{
    const ByteOrderMark mark = FindByteOrderMark(bytes);
    bytes = bytes.sliced(mark.size);
    if (mark.encoding || !declared.isEmpty()) {
        const QByteArray name = mark.encoding ? QByteArray(mark.encoding)
                                : namesGbk(declared) ? QByteArray(LegacyEncoding)
                                                     : declared.trimmed();
        QStringDecoder decoder(name.constData());
        if (!decoder.isValid())
            throw WorkbookError(QStringLiteral("文件“%1”声明的字符编码“%2”无法识别，不能读取。")
                                    .arg(path, QString::fromLatin1(declared)));
        decodeAll(bytes, decoder, consume, false);
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    if (!endsInsideUtf8Sequence(bytes) && decodeAll(bytes, utf8, consume, true))
        return;
    restart();
    QStringDecoder legacy(LegacyEncoding);
    decodeAll(bytes, legacy, consume, false);
}

} // namespace workbook::text
