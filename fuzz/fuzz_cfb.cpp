// Opens the fuzzer's bytes as an OLE2 compound file and reads every stream of
// its root storage, as the .xls reader reads its workbook stream. A refusal
// must say what is wrong.
#include "workbook/CompoundFile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        const workbook::cfb::CompoundFile file(buffer);
        for (const QString& name : file.rootStreams()) {
            if (!file.readRootStream(name))
                abort();
        }
    } catch (const workbook::cfb::DamagedContainer& damage) {
        if (damage.description().isEmpty())
            abort();
    }
    return 0;
}
