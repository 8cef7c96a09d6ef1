// search.cpp: picks the widest compares that the processor has, once, as
// the run starts. Owns `widest`.

#include "search.h"
#include "testing.h"

#ifdef TARVEL_X86
compares widest = (__builtin_cpu_init(), __builtin_cpu_supports("avx512bw")) ? compares::avx512
                  : __builtin_cpu_supports("avx2")                           ? compares::avx2
                                                                             : compares::plain;
#else
compares widest = compares::plain;
#endif

void test_use_compares(compares c)
{
    widest = c;
}
