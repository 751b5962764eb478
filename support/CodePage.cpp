#include "support/CodePage.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <optional>
#else
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#endif

namespace support {
namespace {

constexpr int Gbk = 936;
constexpr int Windows1252 = 1252;
constexpr int Gb18030 = 54936;

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// The number of UTF-16 units of the character that starts at `at`: a surrogate
// pair is one character, a lone surrogate half counts as one too.
qsizetype characterLength(QStringView text, qsizetype at)
{
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
}

#ifdef Q_OS_WIN

// Converts the whole text, or fails when a character has no form in the code
// page: best-fit look-alikes would put another name in the contact list.
std::optional<QByteArray> encodeExactly(QStringView text, int codePage)
{
    const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, units, length,
                                         nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, units, length, bytes.data(), size,
                        nullptr, &usedDefault);
    return usedDefault ? std::nullopt : std::optional<QByteArray>(bytes);
}

QByteArray encode(QStringView text, int codePage)
{
    if (std::optional<QByteArray> whole = encodeExactly(text, codePage))
        return *whole;
    // Some character has no form: character by character, "?" for each such one.
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype length = characterLength(text, at);
        const std::optional<QByteArray> character = encodeExactly(text.sliced(at, length), codePage);
        bytes += character ? *character : QByteArray(1, '?');
        at += length;
    }
    return bytes;
}

std::optional<QString> decodeExactly(QByteArrayView bytes, int codePage)
{
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), length,
                                         nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), length,
                        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

QString decode(QByteArrayView bytes, int codePage)
{
    CPINFO info{};
    if (!GetCPInfo(static_cast<UINT>(codePage), &info)) {
        // A system without GB18030 still reads its one- and two-byte
        // characters, which are GBK's.
        codePage = codePage == Gb18030 ? Gbk : Windows1252;
        GetCPInfo(static_cast<UINT>(codePage), &info);
    }
    if (bytes.isEmpty())
        return {};
    if (std::optional<QString> whole = decodeExactly(bytes, codePage))
        return *whole;
    // Some sequence is not of the code page: character by character, one
    // U+FFFD for each byte that starts no character. A character is the
    // shortest sequence that decodes: one, two or (GB18030) four bytes.
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype longest = qMin<qsizetype>(info.MaxCharSize, bytes.size() - at);
        qsizetype length = 1;
        std::optional<QString> character = decodeExactly(bytes.sliced(at, length), codePage);
        while (!character && length * 2 <= longest) {
            length *= 2;
            character = decodeExactly(bytes.sliced(at, length), codePage);
        }
        if (character) {
            text += *character;
            at += length;
        } else {
            text += QChar::ReplacementCharacter;
            ++at;
        }
    }
    return text;
}

#else

// iconv descriptors are costly to open and the analysis converts one name per
// contact, so each thread keeps one descriptor per direction and charset.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns the iconv errno at the stop, 0 when done.
    int convert(const char*& in, size_t& inLeft, char*& out, size_t& outLeft)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        auto* inPtr = const_cast<char*>(in);
        const size_t rc = iconv(cd_, &inPtr, &inLeft, &out, &outLeft);
        in = inPtr;
        return rc == static_cast<size_t>(-1) ? errno : 0;
    }

private:
    iconv_t cd_;
};

Converter& converter(const std::string& to, const std::string& from)
{
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{to, from}];
    if (!slot)
        slot = std::make_unique<Converter>(to.c_str(), from.c_str());
    return *slot;
}

std::string charset(int codePage)
{
    switch (codePage) {
    case 10000:
        return "MACINTOSH";
    case Gb18030:
        return "GB18030";
    default:
        return "CP" + std::to_string(codePage);
    }
}

QString decode(QByteArrayView bytes, int codePage)
{
    Converter& conv = converter("UTF-16LE", charset(codePage));
    if (!conv.valid())
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString result(bytes.size(), Qt::Uninitialized);
    const char* in = bytes.data();
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* outStart = reinterpret_cast<char*>(result.data());
    char* out = outStart;
    // One UTF-16 unit per input byte at most, for every single- and double-byte charset.
    size_t outLeft = static_cast<size_t>(bytes.size()) * 2;
    while (inLeft > 0) {
        const int err = conv.convert(in, inLeft, out, outLeft);
        if (err == 0 || outLeft < 2)
            break;
        // An undecodable or truncated sequence: one replacement character, then go on.
        const char16_t replacement = u'\uFFFD';
        std::memcpy(out, &replacement, 2);
        out += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    result.truncate(static_cast<qsizetype>((out - outStart) / 2));
    return result;
}

QByteArray encode(QStringView text, int codePage)
{
    Converter& conv = converter(charset(codePage), "UTF-16LE");
    QByteArray result(text.size() * 2, Qt::Uninitialized);
    const char* in = reinterpret_cast<const char*>(text.utf16());
    size_t inLeft = static_cast<size_t>(text.size()) * 2;
    char* out = result.data();
    size_t outLeft = static_cast<size_t>(result.size());
    while (inLeft > 0) {
        const int err = conv.convert(in, inLeft, out, outLeft);
        if (err == 0 || outLeft < 1)
            break;
        // A character GBK cannot hold: "?" in its place.
        const qsizetype at = text.size() - static_cast<qsizetype>(inLeft / 2);
        const size_t skip = static_cast<size_t>(characterLength(text, at)) * 2;
        *out++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
    }
    result.truncate(out - result.data());
    return result;
}

#endif

} // namespace

QByteArray ToGbk(QStringView text)
{
    if (isAscii(text))
        return text.toLatin1();
    return encode(text, Gbk);
}

QString FromGbk(QByteArrayView bytes)
{
    return decode(bytes, Gbk);
}

QString FromCodePage(QByteArrayView bytes, int codePage)
{
    switch (codePage) {
    case 367:
        return QString::fromLatin1(bytes.data(), bytes.size());
    case 1200:
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    case 65001:
        return QString::fromUtf8(bytes.data(), bytes.size());
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
    case 10000:
    case Gb18030:
        return decode(bytes, codePage);
    default:
        return decode(bytes, Windows1252);
    }
}

} // namespace support
