#pragma once

class QFileDevice;

namespace support {

// Asks the operating system to put what was written to the open file on the
// disk, so that it outlasts a power cut; false when it could not.
bool SyncToDisk(QFileDevice& file);

} // namespace support
