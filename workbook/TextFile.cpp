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

// A page whose bytes showed a declaration of UTF-16 is no UTF-16; browsers
// take such a declaration for UTF-8.
bool namesUtf8(const QByteArray& name)
{
    const QByteArray lower = name.trimmed().toLower();
    return lower == "utf-8" || lower == "utf8" || lower.startsWith("utf-16");
}

} // namespace

FileBytes::FileBytes(const QString& path) : file_(path)
{
    if (!file_.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file_.errorString()));
    const qint64 size = file_.size();
    if (size == 0)
        return;
    if (uchar* mapped = file_.map(0, size, QFileDevice::MapPrivateOption)) {
        data_ = reinterpret_cast<char*>(mapped);
        size_ = size;
        return;
    }
    read_ = file_.readAll();
    if (file_.error() != QFileDevice::NoError)
        throw WorkbookError(QStringLiteral("无法读取文件“%1”：%2").arg(path, file_.errorString()));
    data_ = read_.data();
    size_ = read_.size();
}

std::optional<Encoding> ByteOrderMarkEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Encoding{"UTF-8", 3};
    if (bytes.startsWith("\xFF\xFE"))
        return Encoding{"UTF-16LE", 2};
    if (bytes.startsWith("\xFE\xFF"))
        return Encoding{"UTF-16BE", 2};
    return std::nullopt;
}

Encoding DetectEncoding(const QString& path, QByteArrayView bytes, const QByteArray& declared)
{
    const std::optional<Encoding> mark = ByteOrderMarkEncoding(bytes);
    Encoding encoding = mark.value_or(Encoding());
    const QByteArrayView text = bytes.sliced(encoding.byteOrderMark);
    if (!mark && declared.isEmpty()) {
        encoding.asUtf8 = text.isValidUtf8();
        encoding.name = encoding.asUtf8 ? "UTF-8" : LegacyEncoding;
        return encoding;
    }
    if (!mark) {
        encoding.name = namesGbk(declared) ? QByteArray(LegacyEncoding)
                        : namesUtf8(declared) ? QByteArray("UTF-8")
                                              : declared.trimmed();
        if (!QStringDecoder(encoding.name.constData()).isValid())
            throw WorkbookError(QStringLiteral("文件“%1”声明的字符编码“%2”无法识别，不能读取。")
                                    .arg(path, QString::fromLatin1(declared)));
    }
    // UTF-8 that is not valid is decoded, each bad byte becoming a replacement character.
    encoding.asUtf8 = encoding.name == "UTF-8" && text.isValidUtf8();
    return encoding;
}

void Decode(QByteArrayView bytes, const Encoding& encoding, const std::function<void(QStringView)>& consume)
{
    QStringDecoder decoder(encoding.name.constData());
    QString buffer(decoder.requiredSpace(BlockBytes), Qt::Uninitialized);
    for (qsizetype offset = encoding.byteOrderMark; offset < bytes.size(); offset += BlockBytes) {
        const QByteArrayView block = bytes.sliced(offset, std::min(BlockBytes, bytes.size() - offset));
        const QChar* end = decoder.appendToBuffer(buffer.data(), block);
        consume(QStringView(buffer.constData(), end - buffer.constData()));
    }
}

std::optional<QString> DecodeHead(QByteArrayView head)
{
    const std::optional<Encoding> mark = ByteOrderMarkEncoding(head);
    QString text;
    if (mark) {
        QStringDecoder decoder(mark->name.constData());
        head = head.sliced(mark->byteOrderMark);
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

} // namespace workbook::text
