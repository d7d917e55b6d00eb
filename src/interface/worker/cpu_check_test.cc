#include "cpu_check.h"

#include <gtest/gtest.h>

namespace {

using worker::avx2_build_supported;
using worker::CpuReadout;

constexpr std::uint32_t kFma = 1u << 12;
constexpr std::uint32_t kOsxsave = 1u << 27;
constexpr std::uint32_t kAvx = 1u << 28;
constexpr std::uint32_t kAvx2 = 1u << 5;

TEST(Avx2BuildCheck, NeedsEveryPieceOfProcessorAndSystemSupport) {
  const CpuReadout capable{7, kFma | kOsxsave | kAvx, kAvx2, 0x7};
  struct Case {
    const char* name;
    CpuReadout cpu;
    bool supported;
  };
  const Case cases[] = {
      {"capable", capable, true},
      {"capable, more leaves and state", {0x20, capable.leaf1_ecx, ~0u, 0x600E7}, true},
      {"no FMA", {7, kOsxsave | kAvx, kAvx2, 0x7}, false},
      {"OSXSAVE clear", {7, kFma | kAvx, kAvx2, 0}, false},
      {"no AVX", {7, kFma | kOsxsave, kAvx2, 0x7}, false},
      {"system does not save AVX state", {7, capable.leaf1_ecx, kAvx2, 0x3}, false},
      {"no AVX2", {7, capable.leaf1_ecx, 0, 0x7}, false},
      {"no leaf 7", {6, capable.leaf1_ecx, kAvx2, 0x7}, false},
      {"no leaves at all", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(avx2_build_supported(c.cpu), c.supported);
  }
}

}  // namespace
