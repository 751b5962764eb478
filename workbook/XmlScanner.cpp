#include "workbook/XmlScanner.h"

#include "workbook/TextFile.h"

#include <QStringDecoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace workbook::xlsx {
namespace {

constexpr size_t BlockBytes = size_t(256) << 10;
// Decoded text is handed over in pieces of about this size at most.
constexpr size_t TextPieceBytes = size_t(64) << 10;

// Byte classes; a scanning loop runs over bytes until one of its stop class.
enum : uint8_t {
    NameStart = 1,
    NameChar = 2,
    Space = 4,
    TextStop = 8,   // ends a plain run of character data
    MarkupStop = 16 // ends a plain run inside a comment, processing instruction or CDATA section
};

constexpr std::array<uint8_t, 256> makeClasses()
{
    std::array<uint8_t, 256> classes {};
    for (int c = 0; c < 256; ++c) {
        uint8_t bits = 0;
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
        if (letter)
            bits |= NameStart | NameChar;
        if ((c >= '0' && c <= '9') || c == '.' || c == '-')
            bits |= NameChar;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            bits |= Space;
        const bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
        if (control || c >= 0x80)
            bits |= TextStop | MarkupStop;
        if (c == '<' || c == '&' || c == '\r' || c == ']')
            bits |= TextStop;
        if (c == '-' || c == '?' || c == ']' || c == '\r')
            bits |= MarkupStop;
        classes[static_cast<size_t>(c)] = bits;
    }
    return classes;
}

constexpr std::array<uint8_t, 256> Classes = makeClasses();

inline uint8_t classOf(char c)
{
    return Classes[static_cast<unsigned char>(c)];
}

// The bytes the scanner reads past the end of the data, 16 at a time.
constexpr size_t Slack = 16;

#if defined(__SSE2__)
// The first byte from p that is one of a, b, c, a control character or not
// ASCII. Sixteen bytes are looked at per step: the branch on each byte of a
// short run, mispredicted at its end, costs more than the run.
inline const char* findStop(const char* p, char a, char b, char c)
{
    const __m128i ca = _mm_set1_epi8(a);
    const __m128i cb = _mm_set1_epi8(b);
    const __m128i cc = _mm_set1_epi8(c);
    const __m128i space = _mm_set1_epi8(0x20);
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed, bytes from 0x80 up are below 0x20 too.
        const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, ca), _mm_cmpeq_epi8(v, cb)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, cc), _mm_cmplt_epi8(v, space)));
        if (const int mask = _mm_movemask_epi8(stops))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
}
#else
inline const char* findStop(const char* p, char a, char b, char c)
{
    while (*p != a && *p != b && *p != c && static_cast<signed char>(*p) >= 0x20)
        ++p;
    return p;
}
#endif

// Thrown when a construct runs past the bytes read so far; the scanner reads
// more and starts the construct again.
struct NeedMore {};

// Thrown by a decoding source on bytes that are no text in its encoding.
struct BadEncoding {};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = static_cast<char>(c | 0x20);
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return -1;
}

bool isXmlChar(uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(std::string& out, uint32_t c)
{
    char bytes[4];
    size_t length = 0;
    if (c < 0x80) {
        bytes[length++] = static_cast<char>(c);
    } else if (c < 0x800) {
        bytes[length++] = static_cast<char>(0xC0 | (c >> 6));
        bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes[length++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[length++] = static_cast<char>(0xF0 | (c >> 18));
        bytes[length++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.append(bytes, length);
}

// Names are short: comparing them byte by byte beats a call to memcmp.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// Converts a part in another encoding to UTF-8 as the scanner reads it:
// through Qt's decoder, or for GBK and GB18030 where Qt has none (the Windows
// build has no ICU) through the code page layer.
class DecodingSource : public ByteSource {
public:
    DecodingSource(ByteSource& raw, QByteArray pending, QStringDecoder decoder, bool utf16)
        : raw_(raw), pending_(std::move(pending)), decoder_(std::move(decoder)), utf16_(utf16)
    {
    }
    DecodingSource(ByteSource& raw, QByteArray pending, text::Gb18030PieceDecoder decoder)
        : raw_(raw), pending_(std::move(pending)), gb18030_(std::move(decoder)), utf16_(false)
    {
    }

    size_t read(char* buffer, size_t size) override
    {
        while (outPos_ == static_cast<size_t>(out_.size())) {
            if (!decodeMore())
                return 0;
        }
        const size_t count = std::min(size, static_cast<size_t>(out_.size()) - outPos_);
        std::memcpy(buffer, out_.constData() + outPos_, count);
        outPos_ += count;
        return count;
    }

private:
    bool decodeMore()
    {
        QByteArray bytes;
        if (!pending_.isEmpty()) {
            bytes = std::exchange(pending_, QByteArray());
        } else {
            bytes.resize(BlockBytes / 2);
            bytes.resize(static_cast<qsizetype>(raw_.read(bytes.data(), static_cast<size_t>(bytes.size()))));
        }
        rawBytes_ += static_cast<size_t>(bytes.size());
        if (bytes.isEmpty() && gb18030_) {
            QString rest = std::exchange(gb18030_, std::nullopt)->finish();
            if (!rest.isEmpty())
                return publishCodePageText(rest);
        }
        if (bytes.isEmpty()) {
            if (!heldSurrogate_.isNull() || (utf16_ && rawBytes_ % 2 != 0))
                throw BadEncoding {};
            return false;
        }
        if (gb18030_)
            return publishCodePageText(gb18030_->decode(bytes));
        QString text = decoder_.decode(bytes);
        if (decoder_.hasError())
            throw BadEncoding {};
        if (!heldSurrogate_.isNull())
            text.prepend(std::exchange(heldSurrogate_, QChar()));
        // A surrogate pair split between two blocks is checked once whole.
        if (!text.isEmpty() && text.back().isHighSurrogate()) {
            heldSurrogate_ = text.back();
            text.chop(1);
        }
        if (!QStringView(text).isValidUtf16())
            throw BadEncoding {};
        return publish(text);
    }

    // The code page layer gives U+FFFD for what is no GB18030.
    bool publishCodePageText(const QString& text)
    {
        if (text.contains(QChar::ReplacementCharacter))
            throw BadEncoding {};
        return publish(text);
    }

    bool publish(const QString& text)
    {
        out_ = text.toUtf8();
        outPos_ = 0;
        return true;
    }

    ByteSource& raw_;
    QByteArray pending_;
    QStringDecoder decoder_;
    std::optional<text::Gb18030PieceDecoder> gb18030_;
    bool utf16_;
    QChar heldSurrogate_;
    size_t rawBytes_ = 0;
    QByteArray out_;
    size_t outPos_ = 0;
};

class Scanner {
public:
    Scanner(ByteSource& source, XmlHandler& handler) : source_(&source), handler_(handler)
    {
        reserve(BlockBytes);
    }

    void run()
    {
        prolog();
        for (;;) {
            try {
                while (pos_ < end_) {
                    if (*pos_ == '<')
                        markup();
                    else if (depth_ > 0)
                        text();
                    else
                        outsideRoot();
                }
            } catch (const NeedMore&) {
                if (!refill())
                    fail(pos_, depth_ > 0 ? QStringLiteral("文档在元素<%1>内意外结束").arg(openName())
                                          : QStringLiteral("文档在标记中意外结束"));
                continue;
            }
            if (!refill())
                break;
        }
        if (depth_ > 0)
            fail(end_, QStringLiteral("元素<%1>没有结束标签").arg(openName()));
        if (!rootSeen_)
            fail(end_, QStringLiteral("没有根元素"));
    }

private:
    // ---- the buffer -------------------------------------------------------

    void reserve(size_t capacity)
    {
        // Room for a NUL after the data, where every scanning loop stops, and
        // for what findStop reads beyond it.
        auto bigger = std::make_unique<char[]>(capacity + 1 + Slack);
        const size_t kept = static_cast<size_t>(end_ - pos_);
        if (kept > 0)
            std::memcpy(bigger.get(), pos_, kept);
        buffer_ = std::move(bigger);
        capacity_ = capacity;
        end_ = buffer_.get() + kept;
        pos_ = buffer_.get();
        *end_ = '\0';
    }

    // Drops what is read, keeps what starts at pos_, and reads more after it.
    // False, with nothing read, at the end of the input.
    bool refill()
    {
        if (eof_)
            return false;
        const size_t kept = static_cast<size_t>(end_ - pos_);
        if (kept >= MaxMarkupBytes)
            fail(pos_, QStringLiteral("单个标记超过%1 MiB").arg(MaxMarkupBytes >> 20));
        linesBefore_ += newlinesBefore(pos_);
        if (kept > capacity_ / 2 && capacity_ < MaxMarkupBytes) {
            reserve(std::min(capacity_ * 2, MaxMarkupBytes));
        } else if (kept > 0) {
            std::memmove(buffer_.get(), pos_, kept);
        }
        end_ = buffer_.get() + kept;
        pos_ = buffer_.get();
        size_t got = 0;
        try {
            got = source_->read(end_, capacity_ - kept);
        } catch (const BadEncoding&) {
            fail(end_, QStringLiteral("编码为%1的内容中有无效的字节").arg(encodingName_));
        }
        end_ += got;
        *end_ = '\0';
        eof_ = got == 0;
        return got > 0;
    }

    // True when n bytes from p are there; at the end of the input, false when
    // they are not; otherwise asks for more.
    bool available(const char* p, size_t n) const
    {
        if (static_cast<size_t>(end_ - p) >= n)
            return true;
        if (eof_)
            return false;
        throw NeedMore {};
    }

    bool startsWith(const char* p, std::string_view prefix) const
    {
        const size_t have = std::min(prefix.size(), static_cast<size_t>(end_ - p));
        if (std::memcmp(p, prefix.data(), have) != 0)
            return false;
        return available(p, prefix.size());
    }

    int64_t newlinesBefore(const char* at) const
    {
        int64_t count = 0;
        for (const char* p = buffer_.get(); (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(at - p)))); ++p)
            ++count;
        return count;
    }

    int64_t lineAt(const char* at) const { return linesBefore_ + newlinesBefore(at) + 1; }

    [[noreturn]] void fail(const char* at, const QString& reason) const
    {
        throw XmlError {XmlError::Kind::Malformed, lineAt(at), reason};
    }

    // ---- encodings --------------------------------------------------------

    template <typename... Decoder>
    void switchEncoding(const QString& name, const char* from, Decoder&&... decoder)
    {
        linesBefore_ += newlinesBefore(from);
        QByteArray pending(from, end_ - from);
        decoding_ = std::make_unique<DecodingSource>(*source_, std::move(pending), std::forward<Decoder>(decoder)...);
        source_ = decoding_.get();
        encodingName_ = name;
        pos_ = end_ = buffer_.get();
        *end_ = '\0';
        eof_ = false;
    }

    // Tells UTF-16 by its byte order mark or by how "<?" is written; anything
    // else is read as UTF-8 until a declaration says otherwise.
    void detectEncoding()
    {
        while (end_ - pos_ < 4 && refill()) {
        }
        const auto bytes = [&](std::string_view b) {
            return static_cast<size_t>(end_ - pos_) >= b.size() && std::memcmp(pos_, b.data(), b.size()) == 0;
        };
        if (bytes("\xEF\xBB\xBF")) {
            pos_ += 3;
        } else if (bytes("\xFF\xFE") || bytes(std::string_view("<\0?\0", 4))) {
            switchEncoding(QStringLiteral("UTF-16LE"), pos_, QStringDecoder(QStringConverter::Utf16LE), true);
        } else if (bytes("\xFE\xFF") || bytes(std::string_view("\0<\0?", 4))) {
            switchEncoding(QStringLiteral("UTF-16BE"), pos_, QStringDecoder(QStringConverter::Utf16BE), true);
        }
    }

    void prolog()
    {
        detectEncoding();
        for (;;) {
            try {
                declaration();
                return;
            } catch (const NeedMore&) {
                if (!refill())
                    fail(pos_, QStringLiteral("XML声明不完整"));
            }
        }
    }

    // <?xml version="1.0" encoding="..." standalone="yes"?>
    void declaration()
    {
        if (!startsWith(pos_, "<?xml") || !available(pos_, 6) || !(classOf(pos_[5]) & Space))
            return;
        const char* p = pos_ + 5;
        std::string_view version;
        std::string_view encoding;
        std::string_view standalone;
        bool first = true;
        for (;;) {
            const char* spaced = p;
            p = skipSpace(p);
            if (startsWith(p, "?>"))
                break;
            if (p == spaced)
                fail(p, QStringLiteral("XML声明的格式不对"));
            const char* nameStart = p;
            p = name(p);
            const std::string_view key(nameStart, static_cast<size_t>(p - nameStart));
            p = expectEquals(p);
            std::string_view value;
            p = plainValue(p, value);
            if (first && key != "version")
                fail(nameStart, QStringLiteral("XML声明缺少版本号"));
            if (key == "version" && first)
                version = value;
            else if (key == "encoding" && encoding.empty() && standalone.empty())
                encoding = value;
            else if (key == "standalone" && standalone.empty())
                standalone = value;
            else
                fail(nameStart, QStringLiteral("XML声明里有多余的“%1”").arg(QString::fromUtf8(key)));
            first = false;
        }
        if (version.size() < 3 || version.substr(0, 2) != "1."
            || version.find_first_not_of("0123456789", 2) != std::string_view::npos)
            fail(p, QStringLiteral("不支持的XML版本“%1”").arg(QString::fromUtf8(version)));
        if (!standalone.empty() && standalone != "yes" && standalone != "no")
            fail(p, QStringLiteral("standalone的值只能是yes或no"));
        pos_ = p + 2;
        if (!encoding.empty() && !decoding_)
            useDeclaredEncoding(encoding);
    }

    void useDeclaredEncoding(std::string_view name)
    {
        // A part labelled UTF-16 whose bytes showed no UTF-16 is read as UTF-8.
        for (const char* readDirectly : {"UTF-8", "UTF8", "UTF-16", "UTF16", "US-ASCII", "ASCII"}) {
            if (equalsIgnoringCase(name, readDirectly))
                return;
        }
        const QString encoding = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        QStringDecoder decoder(encoding.toLatin1().constData());
        if (decoder.isValid())
            switchEncoding(encoding, pos_, std::move(decoder), false);
        else if (text::NamesGbk(encoding.toLatin1()))
            switchEncoding(encoding, pos_, text::Gb18030PieceDecoder());
        else
            throw XmlError {XmlError::Kind::UnknownEncoding, 1, encoding};
    }

    // A quoted value that needs no decoding, as in the XML declaration.
    const char* plainValue(const char* p, std::string_view& value)
    {
        const char quote = *p;
        if (quote != '"' && quote != '\'')
            fail(p, QStringLiteral("值缺少引号"));
        const char* start = ++p;
        while (*p != quote && (classOf(*p) & (NameChar | NameStart)))
            ++p;
        if (p == end_)
            throw NeedMore {};
        if (*p != quote)
            fail(p, QStringLiteral("XML声明里的值有不允许的字符"));
        value = std::string_view(start, static_cast<size_t>(p - start));
        return p + 1;
    }

    // ---- small pieces -----------------------------------------------------

    const char* skipSpace(const char* p) const
    {
        while (classOf(*p) & Space)
            ++p;
        if (p == end_)
            throw NeedMore {};
        return p;
    }

    // The length of the valid UTF-8 sequence of an XML character at p.
    size_t utf8Length(const char* p) const
    {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
        const unsigned char lead = byte(0);
        size_t length = 0;
        uint32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            fail(p, QStringLiteral("无效的UTF-8字节"));
        }
        for (size_t i = 1; i < length; ++i) {
            if (p + i == end_ && !eof_)
                throw NeedMore {};
            if ((byte(i) & 0xC0) != 0x80)
                fail(p, QStringLiteral("无效的UTF-8字节"));
            c = (c << 6) | (byte(i) & 0x3F);
        }
        const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (c < smallest || !isXmlChar(c))
            fail(p, QStringLiteral("无效的字符"));
        return length;
    }

    // A byte that stopped a plain run and is no markup: a multi-byte
    // character, or a control character that XML does not allow.
    const char* character(const char* p) const
    {
        if (static_cast<unsigned char>(*p) < 0x80) {
            if (p == end_)
                throw NeedMore {};
            fail(p, QStringLiteral("不允许的控制字符 0x%1").arg(static_cast<int>(*p), 2, 16, QLatin1Char('0')));
        }
        return p + utf8Length(p);
    }

    // The end of the name at p. Names are short and mostly ASCII: the loop for
    // them is kept small enough to be inlined.
    const char* name(const char* p) const
    {
        const char* q = p;
        if (classOf(*q) & NameStart) {
            do
                ++q;
            while (classOf(*q) & NameChar);
            if (static_cast<unsigned char>(*q) < 0x80 && q != end_ && static_cast<size_t>(q - p) <= MaxNameBytes)
                return q;
        }
        return anyName(p);
    }

    const char* anyName(const char* p) const
    {
        const char* start = p;
        if (!(classOf(*p) & NameStart)) {
            if (p == end_)
                throw NeedMore {};
            if (static_cast<unsigned char>(*p) < 0x80)
                fail(p, QStringLiteral("应有名称"));
        }
        for (;;) {
            while (classOf(*p) & NameChar)
                ++p;
            if (static_cast<unsigned char>(*p) < 0x80)
                break;
            p += utf8Length(p);
        }
        if (p == end_)
            throw NeedMore {};
        if (static_cast<size_t>(p - start) > MaxNameBytes)
            fail(start, QStringLiteral("名称超过%1 KiB").arg(MaxNameBytes >> 10));
        return p;
    }

    static std::string_view localPart(std::string_view qualified)
    {
        // Names are short: a loop beats a call to memchr.
        for (size_t i = 1; i + 1 < qualified.size(); ++i) {
            if (qualified[i] == ':')
                return qualified.substr(i + 1);
        }
        return qualified;
    }

    const char* expectEquals(const char* p) const
    {
        p = skipSpace(p);
        if (*p != '=')
            fail(p, QStringLiteral("属性名后应有“=”"));
        return skipSpace(p + 1);
    }

    // Decodes the reference at p ("&amp;", "&#29579;", "&#x738B;") onto out
    // and returns what follows it.
    const char* reference(const char* p, std::string& out) const
    {
        const char* start = p++;
        if (*p == '#') {
            ++p;
            const bool hex = *p == 'x';
            if (hex)
                ++p;
            const char* digits = p;
            uint32_t value = 0;
            if (hex) {
                for (int digit; (digit = hexDigit(*p)) >= 0; ++p)
                    value = std::min<uint32_t>(value * 16 + static_cast<uint32_t>(digit), 0x110000);
            } else {
                for (; static_cast<unsigned>(*p - '0') < 10; ++p)
                    value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(*p - '0'), 0x110000);
            }
            if (p == end_)
                throw NeedMore {};
            if (*p != ';' || p == digits)
                fail(start, QStringLiteral("字符引用的格式不对"));
            if (!isXmlChar(value))
                fail(start, QStringLiteral("字符引用指向无效的字符"));
            appendUtf8(out, value);
            return p + 1;
        }
        const char* nameStart = p;
        if (!(classOf(*p) & NameStart) && p != end_)
            fail(start, QStringLiteral("“&”后应是引用，或写作“&amp;”"));
        p = name(p);
        if (*p != ';')
            fail(start, QStringLiteral("“&”后应是引用，或写作“&amp;”"));
        const std::string_view entity(nameStart, static_cast<size_t>(p - nameStart));
        static constexpr std::pair<std::string_view, char> predefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
        for (const auto& [known, c] : predefined) {
            if (entity == known) {
                out += c;
                return p + 1;
            }
        }
        fail(start, QStringLiteral("未定义的实体“%1”").arg(QString::fromUtf8(entity)));
    }

    QString openName() const
    {
        const size_t start = depth_ > 0 ? openStarts_.back() : 0;
        return QString::fromUtf8(openNames_.data() + start, static_cast<qsizetype>(openNames_.size() - start));
    }

    // ---- character data ---------------------------------------------------

    void outsideRoot()
    {
        const char* p = pos_;
        while (classOf(*p) & Space)
            ++p;
        pos_ = p;
        if (p != end_ && *p != '<')
            fail(p, rootSeen_ ? QStringLiteral("根元素之后有多余的内容") : QStringLiteral("根元素之前有文本"));
    }

    void appendText(const char* from, const char* to)
    {
        text_.append(from, static_cast<size_t>(to - from));
        if (text_.size() >= TextPieceBytes)
            flushText();
    }

    void flushText()
    {
        if (!text_.empty()) {
            handler_.text(text_);
            text_.clear();
        }
    }

    // Runs of text that need no decoding go to the handler as they are in
    // the buffer; decoded text is collected into one piece.
    void text()
    {
        const char* p = pos_;
        const char* run = p;
        try {
            for (;;) {
                p = findStop(p, '<', '&', ']');
                const char c = *p;
                if (!(classOf(c) & TextStop)) {
                    ++p;
                    continue;
                }
                if (c == '<')
                    break;
                if (p == end_)
                    throw NeedMore {};
                if (c == '&') {
                    appendText(run, p);
                    run = p; // should the reference need more bytes, it starts afresh
                    p = run = reference(p, text_);
                } else if (c == '\r') {
                    available(p, 2);
                    appendText(run, p);
                    text_ += '\n';
                    p = run = p + (p[1] == '\n' ? 2 : 1);
                } else if (c == ']') {
                    if (available(p, 3) && p[1] == ']' && p[2] == '>')
                        fail(p, QStringLiteral("文本中不允许“]]>”"));
                    ++p;
                } else {
                    p = character(p);
                }
            }
        } catch (const NeedMore&) {
            appendText(run, p);
            pos_ = p;
            throw;
        }
        if (text_.empty()) {
            if (p != run)
                handler_.text(std::string_view(run, static_cast<size_t>(p - run)));
        } else {
            appendText(run, p);
            flushText();
        }
        pos_ = p;
    }

    // ---- markup -----------------------------------------------------------

    void markup()
    {
        // Text that ran up to a block's end is complete once its '<' comes.
        if (!text_.empty())
            flushText();
        const char* p = pos_ + 1;
        if (p == end_)
            throw NeedMore {};
        switch (*p) {
        case '/':
            endTag(p + 1);
            break;
        case '?':
            processingInstruction(p + 1);
            break;
        case '!':
            if (startsWith(p, "!--"))
                comment(p + 3);
            else if (startsWith(p, "![CDATA["))
                cdata(p + 8);
            else if (startsWith(p, "!DOCTYPE") && depth_ == 0 && !rootSeen_)
                throw XmlError {XmlError::Kind::Dtd, lineAt(pos_), {}};
            else
                fail(pos_, QStringLiteral("无法识别的标记"));
            break;
        default:
            startTag(p);
        }
    }

    // Scans a comment, processing instruction or CDATA section up to its
    // terminator, checking its characters, and says where the terminator is.
    const char* contentUntil(const char* p, std::string_view terminator, bool& sawReturn)
    {
        for (;;) {
            while (!(classOf(*p) & MarkupStop))
                ++p;
            if (p == end_)
                throw NeedMore {};
            const char c = *p;
            if (c == terminator[0] && startsWith(p, terminator))
                return p;
            if (c == '\r')
                sawReturn = true;
            p = c == '-' || c == '?' || c == ']' || c == '\r' ? p + 1 : character(p);
        }
    }

    void comment(const char* p)
    {
        bool sawReturn = false;
        const char* close = contentUntil(p, "--", sawReturn);
        if (!available(close, 3) || close[2] != '>')
            fail(close, QStringLiteral("注释中不允许“--”"));
        pos_ = close + 3;
    }

    void processingInstruction(const char* p)
    {
        const char* target = p;
        p = name(p);
        if (equalsIgnoringCase(std::string_view(target, static_cast<size_t>(p - target)), "xml"))
            fail(pos_, QStringLiteral("XML声明只能在文档开头"));
        if (!(classOf(*p) & Space) && !startsWith(p, "?>"))
            fail(p, QStringLiteral("处理指令的格式不对"));
        bool sawReturn = false;
        pos_ = contentUntil(p, "?>", sawReturn) + 2;
    }

    void cdata(const char* p)
    {
        if (depth_ == 0)
            fail(pos_, QStringLiteral("CDATA段不能在根元素之外"));
        bool sawReturn = false;
        const char* close = contentUntil(p, "]]>", sawReturn);
        // Without line ends to change, the section is handed over as it stands.
        if (!sawReturn) {
            if (close != p)
                handler_.text(std::string_view(p, static_cast<size_t>(close - p)));
        } else {
            std::string normalised;
            normalised.reserve(static_cast<size_t>(close - p));
            for (const char* q = p; q < close; ++q) {
                normalised += *q == '\r' ? '\n' : *q;
                if (*q == '\r' && q + 1 < close && q[1] == '\n')
                    ++q;
            }
            handler_.text(normalised);
        }
        pos_ = close + 3;
    }

    void endTag(const char* p)
    {
        if (depth_ == 0)
            fail(pos_, QStringLiteral("多余的结束标签"));
        const std::string_view open = std::string_view(openNames_).substr(openStarts_.back());
        // Most end tags match: compare with the open element before scanning a name.
        if (static_cast<size_t>(end_ - p) > open.size() && sameName(std::string_view(p, open.size()), open)
            && !(classOf(p[open.size()]) & NameChar) && static_cast<unsigned char>(p[open.size()]) < 0x80) {
            p += open.size();
        } else {
            const char* start = p;
            p = name(p);
            fail(pos_, QStringLiteral("结束标签</%1>与开始标签<%2>不匹配")
                           .arg(QString::fromUtf8(start, static_cast<qsizetype>(p - start)), openName()));
        }
        p = skipSpace(p);
        if (*p != '>')
            fail(p, QStringLiteral("结束标签</%1>的格式不对").arg(openName()));
        pos_ = p + 1;
        closeElement();
    }

    void closeElement()
    {
        const size_t start = openStarts_.back();
        handler_.endElement(localPart(std::string_view(openNames_).substr(start)));
        openNames_.resize(start);
        openStarts_.pop_back();
        --depth_;
    }

    // Reads an attribute value at its opening quote. A value without
    // references and blanks to normalise stays where it is in the buffer;
    // others are decoded into values_, which the tag's start made big enough
    // for all of them, so views into it stay valid.
    const char* attributeValue(const char* p, std::string_view& value)
    {
        const char quote = *p;
        if (quote != '"' && quote != '\'')
            fail(p, QStringLiteral("属性值缺少引号"));
        const char* start = ++p;
        const char* run = p;
        size_t decodedAt = SIZE_MAX;
        const auto copyRun = [&](const char* to) {
            if (decodedAt == SIZE_MAX)
                decodedAt = values_.size();
            values_.append(run, static_cast<size_t>(to - run));
        };
        for (;;) {
            p = findStop(p, quote, '&', '<');
            const char c = *p;
            if (c == quote)
                break;
            if (p == end_)
                throw NeedMore {};
            switch (c) {
            case '&':
                copyRun(p);
                p = run = reference(p, values_);
                break;
            case '<':
                fail(p, QStringLiteral("属性值中不允许“<”"));
            case '\r':
                available(p, 2);
                copyRun(p);
                values_ += ' ';
                p = run = p + (p[1] == '\n' ? 2 : 1);
                break;
            case '\t':
            case '\n':
                copyRun(p);
                values_ += ' ';
                p = run = p + 1;
                break;
            default:
                p = character(p);
            }
        }
        if (decodedAt == SIZE_MAX) {
            value = std::string_view(start, static_cast<size_t>(p - start));
        } else {
            copyRun(p);
            value = std::string_view(values_.data() + decodedAt, values_.size() - decodedAt);
        }
        return p + 1;
    }

    void refuseDuplicates(const char* tag) const
    {
        const auto duplicated = [&](std::string_view name) {
            return QStringLiteral("属性“%1”重复").arg(QString::fromUtf8(name));
        };
        if (qualified_.size() <= 16) {
            for (size_t i = 1; i < qualified_.size(); ++i) {
                for (size_t j = 0; j < i; ++j) {
                    if (sameName(qualified_[i], qualified_[j]))
                        fail(tag, duplicated(qualified_[i]));
                }
            }
            return;
        }
        std::vector<std::string_view> names = qualified_;
        std::sort(names.begin(), names.end());
        const auto twice = std::adjacent_find(names.begin(), names.end());
        if (twice != names.end())
            fail(tag, duplicated(*twice));
    }

    static bool declaresNamespace(std::string_view qualified)
    {
        return qualified.size() >= 5 && qualified.substr(0, 5) == "xmlns" && (qualified.size() == 5 || qualified[5] == ':');
    }

    void startTag(const char* p)
    {
        if (depth_ == 0 && rootSeen_)
            fail(pos_, QStringLiteral("根元素之后有多余的元素"));
        const char* start = p;
        if (!(classOf(*p) & NameStart) && static_cast<unsigned char>(*p) < 0x80)
            fail(pos_, QStringLiteral("“<”后应是元素名；文本里的“<”应写作“&lt;”"));
        p = name(p);
        const std::string_view qualified(start, static_cast<size_t>(p - start));
        qualified_.clear();
        views_.clear();
        values_.clear();
        // Decoded values are never longer than the tag, which lies within the buffer.
        if (values_.capacity() < static_cast<size_t>(end_ - pos_))
            values_.reserve(static_cast<size_t>(end_ - pos_));
        bool empty = false;
        for (;;) {
            const char* spaced = p;
            p = skipSpace(p);
            if (*p == '>') {
                ++p;
                break;
            }
            if (*p == '/') {
                if (!available(p, 2) || p[1] != '>')
                    fail(p, QStringLiteral("“/”后应是“>”"));
                p += 2;
                empty = true;
                break;
            }
            if (p == spaced)
                fail(p, QStringLiteral("属性前应有空白"));
            const char* attributeStart = p;
            p = name(p);
            const std::string_view attribute(attributeStart, static_cast<size_t>(p - attributeStart));
            std::string_view value;
            p = attributeValue(expectEquals(p), value);
            qualified_.push_back(attribute);
            if (!declaresNamespace(attribute))
                views_.push_back({localPart(attribute), value});
        }
        if (qualified_.size() > 1)
            refuseDuplicates(pos_);
        if (depth_ >= MaxDepth)
            fail(pos_, QStringLiteral("元素嵌套超过%1层").arg(MaxDepth));
        pos_ = p;
        rootSeen_ = true;
        ++depth_;
        openStarts_.push_back(openNames_.size());
        openNames_.append(qualified);
        handler_.startElement(localPart(qualified), Attributes(views_.data(), views_.size()));
        if (empty)
            closeElement();
    }

    ByteSource* source_;
    std::unique_ptr<DecodingSource> decoding_;
    QString encodingName_ = QStringLiteral("UTF-8");
    XmlHandler& handler_;

    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    const char* pos_ = nullptr;
    char* end_ = nullptr;
    bool eof_ = false;
    int64_t linesBefore_ = 0;

    int depth_ = 0;
    bool rootSeen_ = false;
    std::string openNames_; // the qualified names of the open elements, one after another
    std::vector<size_t> openStarts_;

    std::string text_;    // decoded text not yet handed over
    std::vector<std::string_view> qualified_; // the attribute names of the tag being read
    std::string values_;                      // its decoded attribute values
    std::vector<AttributeView> views_;
};

} // namespace

size_t MemorySource::read(char* buffer, size_t size)
{
    const size_t count = std::min({size, blockSize_, bytes_.size()});
    if (count == 0) // an empty view may have no data at all
        return 0;
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
}

void ScanXml(ByteSource& source, XmlHandler& handler)
{
    Scanner(source, handler).run();
}

} // namespace workbook::xlsx
