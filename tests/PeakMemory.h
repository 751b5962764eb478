#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// The peak resident size of the test process so far, in MiB.
inline qint64 PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// More than a hostile file may make a reader allocate; far less than what
// trusting any of the sizes it claims would take.
inline constexpr qint64 MemoryBoundMegabytes = 1024;

// Checks that the process has stayed within MemoryBoundMegabytes.
#define VERIFY_MEMORY_BOUND() \
    QVERIFY2(PeakMegabytes() < MemoryBoundMegabytes, qPrintable(QString::number(PeakMegabytes())))
