#include "support/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <map>
#include <string>

namespace support {
namespace {

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

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

QString decode(QByteArrayView bytes, const std::string& charset)
{
    Converter& conv = converter("UTF-16LE", charset);
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

} // namespace

QByteArray ToGbk(QStringView text)
{
    if (isAscii(text))
        return text.toLatin1();
    Converter& conv = converter("CP936", "UTF-16LE");
    QByteArray result(text.size() * 2, Qt::Uninitialized);
    const char* in = reinterpret_cast<const char*>(text.utf16());
    size_t inLeft = static_cast<size_t>(text.size()) * 2;
    char* out = result.data();
    size_t outLeft = static_cast<size_t>(result.size());
    while (inLeft > 0) {
        const int err = conv.convert(in, inLeft, out, outLeft);
        if (err == 0 || outLeft < 1)
            break;
        // A character GBK cannot hold: "?" in its place. A surrogate pair is one character.
        const auto unit = QChar(*reinterpret_cast<const char16_t*>(in));
        size_t skip = 2;
        if (unit.isHighSurrogate() && inLeft >= 4
            && QChar(*reinterpret_cast<const char16_t*>(in + 2)).isLowSurrogate())
            skip = 4;
        *out++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
    }
    result.truncate(out - result.data());
    return result;
}

QString FromGbk(QByteArrayView bytes)
{
    return decode(bytes, "CP936");
}

QString FromCodePage(QByteArrayView bytes, int codePage)
{
    switch (codePage) {
    case 367:
        return QString::fromLatin1(bytes.data(), bytes.size());
    case 1200:
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    case 10000:
        return decode(bytes, "MACINTOSH");
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
        return decode(bytes, "CP" + std::to_string(codePage));
    default:
        return decode(bytes, "CP1252");
    }
}

} // namespace support
