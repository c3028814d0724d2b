// Vector (SSE4.1) forms of the codec's hottest loops, chosen at run time when
// the processor has them. Each gives exactly the result of its portable form,
// which stays the reference for the tests.
#pragma once

#if defined(__x86_64__)
#define VORPEL_G729_X86 1
#define VORPEL_G729_VECTOR_TARGET __attribute__((target("sse4.1")))
#else
#define VORPEL_G729_X86 0
#define VORPEL_G729_VECTOR_TARGET
#endif

namespace vorpel::g729 {

// Whether the vector forms run: on a processor with SSE4.1 unless turned off.
bool vectorKernels();
// Turns the vector forms off (tests run the portable forms on the same input)
// or back on where the processor has them.
void setVectorKernels(bool on);

}  // namespace vorpel::g729
