#include "support/FileSync.h"

#include <QFileDevice>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace support {

bool SyncToDisk(QFileDevice& file)
{
    const int handle = file.handle();
    if (handle < 0)
        return false;
#ifdef _WIN32
    return ::_commit(handle) == 0;
#else
    return ::fdatasync(handle) == 0;
#endif
}

} // namespace support
