#pragma once

#include "TestPlatform.h"

#include <QtGlobal>

// More than a hostile file may make a reader allocate; far less than what
// trusting any of the sizes it claims would take.
inline constexpr qint64 MemoryBoundMegabytes = 1024;

// Checks that the process has stayed within MemoryBoundMegabytes.
#define VERIFY_MEMORY_BOUND()                                            \
    QVERIFY2(testplatform::PeakMegabytes() < MemoryBoundMegabytes,       \
             qPrintable(QString::number(testplatform::PeakMegabytes())))
