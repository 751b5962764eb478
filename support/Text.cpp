#include "support/Text.h"

namespace support {

// Called for every cell of a sheet: an untouched text is shared, not copied.
QString TrimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return begin == 0 && end == text.size() ? text : text.sliced(begin, end - begin);
}

QString TrimLeadingSpaces(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u' ')
        ++begin;
    return text.sliced(begin).toString();
}

} // namespace support
