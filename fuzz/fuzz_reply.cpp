// Parses the fuzzer's bytes as a reply body and reads it by position, as the
// login, group list and import read the platform's replies.
#include "net/XMLDocument.h"

#include <cstddef>
#include <cstdint>

namespace {

void readByPosition(const net::XMLNode& node, int depth)
{
    (void)node.text();
    const net::XMLNodeList children = node.children();
    try {
        (void)children.item(children.length());
    } catch (const net::XMLError&) {
    }
    // The deepest reply read has four levels (root, list, group, field).
    if (depth == 4)
        return;
    for (int i = 0; i < children.length(); ++i)
        readByPosition(children.item(i), depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    net::XMLDocument document;
    try {
        document.loadBody(QByteArrayView(data, static_cast<qsizetype>(size)));
        readByPosition(document.root(), 0);
    } catch (const net::XMLError&) {
    }
    return 0;
}
