// Whether this machine can run the AVX2 build of the worker: the processor reports AVX, FMA and
// AVX2, and the operating system saves the AVX register state (OSXSAVE set, XCR0 bits 1 and 2).
// Header-only and free of library calls so that the entry check can use it before anything else
// of the program has run.
#pragma once

#include <cstdint>

namespace worker {

// The registers the decision reads. A leaf the processor lacks, or XCR0 when OSXSAVE is clear,
// reads as 0.
struct CpuReadout {
  std::uint32_t highest_basic_leaf = 0;
  std::uint32_t leaf1_ecx = 0;
  std::uint32_t leaf7_ebx = 0;
  std::uint64_t xcr0 = 0;
};

constexpr bool avx2_build_supported(const CpuReadout& cpu) {
  if (cpu.highest_basic_leaf < 7) return false;
  const bool fma = (cpu.leaf1_ecx >> 12) & 1;
  const bool osxsave = (cpu.leaf1_ecx >> 27) & 1;
  const bool avx = (cpu.leaf1_ecx >> 28) & 1;
  const bool avx_state = (cpu.xcr0 & 0x6) == 0x6;  // SSE and AVX register state
  const bool avx2 = (cpu.leaf7_ebx >> 5) & 1;
  return fma && osxsave && avx && avx_state && avx2;
}

}  // namespace worker
