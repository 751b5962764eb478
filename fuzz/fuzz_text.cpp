// URLEncode and FormatName on any UTF-16 text, lone surrogate halves included.
#include "platform/modPub.h"
#include "import/ContactAnalysis.h"
#include "support/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool isEncodedQueryValue(const QString& encoded)
{
    for (const QChar c : encoded) {
        const char16_t u = c.unicode();
        const bool plain = (u >= '0' && u <= '9') || (u >= '@' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '%';
        if (!plain)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        text[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));

    if (!isEncodedQueryValue(modPub::URLEncode(text)))
        abort();
    if (support::ToGbk(contacts::FormatName(text)).size() != 17)
        abort();
    return 0;
}
