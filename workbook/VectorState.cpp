#include "workbook/VectorState.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>

namespace workbook {
namespace {

__attribute__((target("avx"))) void zeroUpperHalves()
{
    _mm256_zeroupper();
}

} // namespace

void ClearUpperVectorState()
{
    if (__builtin_cpu_supports("avx"))
        zeroUpperHalves();
}

} // namespace workbook

#else

namespace workbook {

void ClearUpperVectorState() {}

} // namespace workbook

#endif
