#pragma once

namespace workbook {

// Qt's string hashing (every QHash<QString> does it) can leave the upper halves
// of the AVX registers in use on x86 processors that have AVX, and until
// something clears them, the SSE instructions that copying and parsing compile
// to can run several times slower: on the Xeon with AVX-512 that the
// benchmarks run on, reading the shared strings of a 65,535-row .xls took a
// quarter longer. Clears them where the processor has AVX; elsewhere nothing.
void ClearUpperVectorState();

} // namespace workbook
