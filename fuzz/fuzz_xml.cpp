// Scans the fuzzer's bytes with our XML scanner and with libxml2: the
// scanner must never crash or hang, and where libxml2 finds a well-formed
// UTF-8 document without a DTD, both must read the same events from it.
#include "tests/XmlTrace.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace {

// libxml2 tells UTF-16, UTF-32 and EBCDIC by the first bytes; only UTF-8 is
// compared. libxml2 also takes a NUL after the root element for the end of
// the input, and ignores what follows.
bool comparable(std::string_view document)
{
    if (document.find('\0') != std::string_view::npos)
        return false;
    return !(document.substr(0, 2) == "\xFE\xFF" || document.substr(0, 2) == "\xFF\xFE" || document.substr(0, 4) == "\x4C\x6F\xA7\x94");
}

[[noreturn]] void differ(const char* what, std::string_view document)
{
    std::fprintf(stderr, "the scanner and libxml2 differ (%s) on:\n%.*s\n", what, static_cast<int>(document.size()), document.data());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how the input is split into blocks, so that
    // block boundaries fall everywhere.
    const size_t blockSize = data[0] < 128 ? SIZE_MAX : data[0] - 127;
    const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);
    const xmltrace::ScannerResult ours = xmltrace::scan(document, blockSize);
    if (!comparable(document))
        return 0;
    const xmltrace::LibxmlResult reference = xmltrace::parseWithLibxml(document);
    const std::string& encoding = reference.declaredEncoding;
    if (!reference.wellFormed || (!encoding.empty() && strcasecmp(encoding.c_str(), "UTF-8") != 0))
        return 0;
    if (ours.error)
        differ(qPrintable(ours.error->detail), document);
    if (ours.trace != reference.trace)
        differ("events", document);
    return 0;
}
