#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

// Text files as the readers of CSV, web pages and XML spreadsheets see them:
// their bytes, and their characters in the encoding the file was written in.
namespace workbook::text {

// The whole content of a file, mapped into memory where the system can map
// it, so a big file is not copied and a hostile one costs only what is read.
// The bytes may be changed in place; the changes stay in this process.
class FileBytes {
public:
    // Throws WorkbookError when the file cannot be opened or read.
    explicit FileBytes(const QString& path);
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    char* data() const { return data_; }
    qsizetype size() const { return size_; }
    QByteArrayView bytes() const { return {data_, size_}; }

private:
    QFile file_;
    QByteArray read_;
    char* data_ = nullptr;
    qsizetype size_ = 0;
};

// How a text file is read: the encoding (a name that QStringDecoder knows)
// and the length of the byte order mark before the text.
struct Encoding {
    QByteArray name;
    qsizetype byteOrderMark = 0;
    // The text is valid UTF-8 and can be taken as it is, undecoded.
    bool asUtf8 = false;
};

// What a file is read as when neither a byte order mark nor a declaration
// says: GB18030, the superset of GBK that takes whatever Chinese Windows
// programs write.
inline constexpr const char* LegacyEncoding = "GB18030";

// The encoding that a byte order mark at the start of `bytes` names, with
// `asUtf8` false; nothing when there is no mark.
std::optional<Encoding> ByteOrderMarkEncoding(QByteArrayView bytes);

// The encoding of a whole text file: its byte order mark's; else `declared`
// when it is not empty (an encoding name such as "gb2312", taken as its
// superset GB18030 for the Chinese names); else UTF-8 when the whole file is
// valid UTF-8; otherwise GB18030. Throws WorkbookError naming `path` for a
// declared encoding that is unknown.
Encoding DetectEncoding(const QString& path, QByteArrayView bytes, const QByteArray& declared = {});

// Decodes the text after the byte order mark block by block and hands each
// block of characters to `consume`, which keeps nothing of it beyond the call.
void Decode(QByteArrayView bytes, const Encoding& encoding, const std::function<void(QStringView)>& consume);

// Whether an encoding name is one of those that web pages and XML files give
// GBK under; the readers take them all as GB18030, which holds every GBK
// character.
bool NamesGbk(const QByteArray& name);

// Decodes GB18030 piece by piece, as the pieces come, through the system's
// code page 54936: Qt decodes GB18030 through ICU, which the Windows build has
// not. A character cut at the end of a piece waits for the next; a byte that
// is no GB18030 becomes U+FFFD.
class Gb18030PieceDecoder {
public:
    QString decode(QByteArrayView piece);
    // The characters still held, once the last piece has come.
    QString finish();

private:
    QByteArray held_;
};

// Decodes the start of a file to tell what it holds: the byte order mark's
// encoding, else UTF-8 when the bytes are UTF-8 (a character cut at the end
// aside), else GB18030. Nothing when the bytes are no text in that encoding,
// or hold NUL characters, as binary files do.
std::optional<QString> DecodeHead(QByteArrayView head);

} // namespace workbook::text
