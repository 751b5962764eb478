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
class FileBytes {
public:
    // Throws WorkbookError when the file cannot be opened or read.
    explicit FileBytes(const QString& path);
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    QByteArrayView bytes() const { return bytes_; }

private:
    QFile file_;
    QByteArray read_;
    QByteArrayView bytes_;
};

// The encoding that a byte order mark at the start of `bytes` names, and its
// length; a null name and 0 without one.
struct ByteOrderMark {
    const char* encoding = nullptr;
    qsizetype size = 0;
};
ByteOrderMark FindByteOrderMark(QByteArrayView bytes);

// What a file is read as when neither a byte order mark nor a declaration
// says: GB18030, the superset of GBK that takes whatever Chinese Windows
// programs write.
inline constexpr const char* LegacyEncoding = "GB18030";

// Decodes the start of a file to tell what it holds: the byte order mark's
// encoding, else UTF-8 when the bytes are UTF-8 (a character cut at the end
// aside), else GB18030. Nothing when the bytes are no text in that encoding,
// or hold NUL characters, as binary files do.
std::optional<QString> DecodeHead(QByteArrayView head);

// Decodes a whole text file block by block and hands each block of
// characters to `consume`, which keeps nothing of it beyond the call. The
// encoding is the byte order mark's; else `declared` when it is not empty
// (an encoding name such as "gb2312", taken as its superset GB18030 for the
// Chinese names); else UTF-8 when the whole file is valid UTF-8; otherwise
// GB18030. UTF-8 validity is known only at the end, so when a file turns out
// not to be UTF-8 part way, `restart` is called and decoding begins again
// from the start as GB18030. Throws WorkbookError naming `path` for a
// declared encoding that is unknown.
void DecodeTextFile(const QString& path, QByteArrayView bytes, const QByteArray& declared,
                    const std::function<void(QStringView)>& consume, const std::function<void()>& restart);

} // namespace workbook::text
