#include "workbook/TextFile.h"

#include "support/CodePage.h"
#include "workbook/Workbook.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace workbook::text {
namespace {

// Big enough that the per-block cost vanishes, small enough to stay in cache.
constexpr qsizetype BlockBytes = qsizetype(1) << 20;

// A page whose bytes showed a declaration of UTF-16 is no UTF-16; browsers
// take such a declaration for UTF-8.
bool namesUtf8(const QByteArray& name)
{
    const QByteArray lower = name.trimmed().toLower();
    return lower == "utf-8" || lower == "utf8" || lower.startsWith("utf-16");
}

// Qt decodes GB18030 through ICU, which the Windows build has not; there the
// code page layer decodes it, through the system's own code page 54936.
constexpr int Gb18030CodePage = 54936;

bool qtDecodes(const QByteArray& name)
{
    return QStringDecoder(name.constData()).isValid();
}

// The longest start of bytes that surely ends between two GB18030 characters:
// up to the last byte below 0x30, which is never part of a two- or four-byte
// character. Empty when there is none.
qsizetype gb18030WholeCharacters(QByteArrayView bytes)
{
    for (qsizetype at = bytes.size(); at > 0; --at)
        if (static_cast<uchar>(bytes[at - 1]) < 0x30)
            return at;
    return 0;
}

void decodeGb18030ByCodePage(QByteArrayView bytes, const std::function<void(QStringView)>& consume)
{
    Gb18030PieceDecoder decoder;
    for (qsizetype offset = 0; offset < bytes.size(); offset += BlockBytes)
        consume(decoder.decode(bytes.sliced(offset, std::min(BlockBytes, bytes.size() - offset))));
    consume(decoder.finish());
}

// GB18030 text, or nothing when the bytes are not GB18030.
std::optional<QString> decodeLegacy(QByteArrayView bytes)
{
    if (!qtDecodes(LegacyEncoding)) {
        // The bytes may be the start of a file, cut inside a character.
        const qsizetype whole = gb18030WholeCharacters(bytes);
        QString text = support::FromCodePage(bytes.first(whole > 0 ? whole : bytes.size()), Gb18030CodePage);
        return text.contains(QChar::ReplacementCharacter) ? std::nullopt : std::optional<QString>(text);
    }
    QStringDecoder legacy(LegacyEncoding);
    QString text = legacy.decode(bytes);
    return legacy.hasError() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

bool NamesGbk(const QByteArray& name)
{
    static const char* const names[] = {"gb2312", "gbk", "gb18030", "x-gbk", "chinese", "csgb2312",
                                        "csiso58gb231280", "gb_2312", "gb_2312-80", "iso-ir-58", "cp936",
                                        "windows-936", "ms936"};
    const QByteArray lower = name.trimmed().toLower();
    return std::any_of(std::begin(names), std::end(names), [&](const char* known) { return lower == known; });
}

QString Gb18030PieceDecoder::decode(QByteArrayView piece)
{
    held_.append(piece);
    const qsizetype whole = gb18030WholeCharacters(held_);
    QString text = support::FromCodePage(QByteArrayView(held_).first(whole), Gb18030CodePage);
    held_.remove(0, whole);
    return text;
}

QString Gb18030PieceDecoder::finish()
{
    return support::FromCodePage(std::exchange(held_, QByteArray()), Gb18030CodePage);
}

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
        encoding.name = NamesGbk(declared) ? QByteArray(LegacyEncoding)
                        : namesUtf8(declared) ? QByteArray("UTF-8")
                                              : declared.trimmed();
        if (encoding.name != LegacyEncoding && !qtDecodes(encoding.name))
            throw WorkbookError(QStringLiteral("文件“%1”声明的字符编码“%2”无法识别，不能读取。")
                                    .arg(path, QString::fromLatin1(declared)));
    }
    // UTF-8 that is not valid is decoded, each bad byte becoming a replacement character.
    encoding.asUtf8 = encoding.name == "UTF-8" && text.isValidUtf8();
    return encoding;
}

void Decode(QByteArrayView bytes, const Encoding& encoding, const std::function<void(QStringView)>& consume)
{
    if (encoding.name == LegacyEncoding && !qtDecodes(encoding.name)) {
        decodeGb18030ByCodePage(bytes.sliced(encoding.byteOrderMark), consume);
        return;
    }
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
            std::optional<QString> legacy = decodeLegacy(head);
            if (!legacy)
                return std::nullopt;
            text = std::move(*legacy);
        }
    }
    if (text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

} // namespace workbook::text
