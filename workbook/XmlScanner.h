#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

// A streaming XML scanner for the parts of a spreadsheet package. It reads
// its input in big blocks, never holds more than one block and the markup
// being read, and hands the content to an XmlHandler as it goes.
namespace workbook::xlsx {

struct AttributeView {
    std::string_view name; // the local name
    std::string_view value;
};

// The attributes of a start element, valid during the startElement call.
// Namespace declarations are not among them.
class Attributes {
public:
    Attributes(const AttributeView* data, size_t count) : data_(data), count_(count) {}

    // Calls f(localName, value) for each attribute; prefixes are not looked at.
    template <typename F>
    void forEach(F&& f) const
    {
        for (size_t i = 0; i < count_; ++i)
            f(data_[i].name, data_[i].value);
    }

private:
    const AttributeView* data_;
    size_t count_;
};

// What a part's content means to its reader. Elements are told by local name,
// so any namespace prefix and both the transitional and the strict namespaces
// are accepted. A handler stops the scan by throwing.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, const Attributes& attributes) = 0;
    virtual void endElement(std::string_view name) { (void)name; }
    // Character data, references decoded, possibly in several pieces.
    virtual void text(std::string_view text) { (void)text; }
};

// Where the scanner's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills up to `size` bytes of `buffer` and says how many; 0 only at the end.
    virtual size_t read(char* buffer, size_t size) = 0;
};

// Bytes already in memory, handed over in blocks of `blockSize` (to test how
// markup split between blocks is read).
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes, size_t blockSize = SIZE_MAX) : bytes_(bytes), blockSize_(blockSize) {}
    size_t read(char* buffer, size_t size) override;

private:
    std::string_view bytes_;
    size_t blockSize_;
};

// Why a document was refused.
struct XmlError {
    enum class Kind { Malformed, Dtd, UnknownEncoding };
    Kind kind;
    int64_t line;   // 1-based
    QString detail; // Malformed: what is wrong; UnknownEncoding: the declared name
};

// Limits that keep a hostile part from taking unbounded memory.
constexpr size_t MaxMarkupBytes = size_t(16) << 20; // one tag, comment or CDATA section
constexpr size_t MaxNameBytes = size_t(64) << 10;
constexpr int MaxDepth = 1000;

// Reads a whole document from `source`. Throws XmlError when it is not
// well-formed, declares a DTD or an unknown encoding; passes on what the
// handler or the source throws. UTF-16 and any encoding Qt knows are
// converted to UTF-8 as they are read.
void ScanXml(ByteSource& source, XmlHandler& handler);

} // namespace workbook::xlsx
