#include "base/gadget/architecture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/gadget/windows_system.h"
#include "base/logging.h"
#include "base/platform/fake_cpu_instructions_for_testing.h"
#include "base/platform/fake_system_for_testing.h"

namespace {

using base::platform::FakeCpuInstructions;
using base::platform::FakeSystem;

// A processor described by the registers the feature rules read.
struct ScriptedCpu {
  std::uint32_t highest_leaf = 7;
  bool osxsave = true;
  std::uint64_t xcr0 = 0x600E7;  // x87, SSE, AVX, AVX-512 and AMX state
  std::uint32_t leaf1_ecx = 0;
  std::uint32_t leaf1_edx = 0;
  std::uint32_t leaf7_ebx = 0;
  std::uint32_t leaf7_ecx = 0;
  std::uint32_t leaf7_edx = 0;
  std::uint32_t leaf7_1_eax = 0;

  void install(FakeCpuInstructions& cpu) const {
    cpu.set(0, 0, {highest_leaf, 0x756e6547, 0x6c65746e, 0x49656e69});
    cpu.set(1, 0, {0x000906EA, 0, leaf1_ecx | (osxsave ? 1u << 27 : 0u), leaf1_edx});
    cpu.set(7, 0, {1, leaf7_ebx, leaf7_ecx, leaf7_edx});
    cpu.set(7, 1, {leaf7_1_eax, 0, 0, 0});
    cpu.xcr0 = xcr0;
  }
};

constexpr std::uint32_t b(int n) { return 1u << n; }

// Every CPUID bit some rule reads.
ScriptedCpu everything() {
  ScriptedCpu cpu;
  cpu.leaf1_ecx = b(0) | b(1) | b(12) | b(19) | b(25) | b(28) | b(29);
  cpu.leaf1_edx = b(25) | b(26);
  cpu.leaf7_ebx = b(5) | b(16) | b(17) | b(29) | b(30) | b(31);
  cpu.leaf7_ecx = b(1) | b(6) | b(8) | b(9) | b(11);
  cpu.leaf7_edx = b(23) | b(24) | b(25);
  cpu.leaf7_1_eax = b(4);
  return cpu;
}

IsaFeatureSet set_of(std::initializer_list<IsaFeature> features) {
  IsaFeatureSet set = 0;
  for (IsaFeature f : features) set |= IsaFeatureSet{1} << static_cast<int>(f);
  return set;
}

constexpr IsaFeatureSet kAllX86 = (IsaFeatureSet{1} << 24) - 1;

TEST(IsaFeatureNames, HoldsExactlyTheNamedFeatures) {
  EXPECT_EQ(isa_feature_names.size(), 38u);
  const std::pair<IsaFeature, const char*> cases[] = {
      {IsaFeature::kAesni, "aesni"},        {IsaFeature::kSse41, "sse41"},
      {IsaFeature::kAvxVnni, "avxvnni"},    {IsaFeature::kX86Fma, "x86_fma"},
      {IsaFeature::kAmxInt8, "amxint8"},    {IsaFeature::kAvx512vbmi2, "avx512vbmi2"},
      {IsaFeature::kArmv8Aes, "armv8_aes"}, {IsaFeature::kArmv8Sme2, "armv8_sme2"},
      {IsaFeature::kRiscvV, "riscv_v"},     {IsaFeature::kRiscvZvfh, "riscv_zvfh"},
  };
  for (const auto& [feature, name] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(isa_feature_names.at(static_cast<std::int32_t>(feature)), name);
  }
  for (const auto& [id, name] : isa_feature_names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE((id >= 0 && id <= 23) || (id >= 32 && id <= 40) || (id >= 48 && id <= 52));
  }
}

TEST(IsaFeatures, RulesOnScriptedProcessors) {
  struct Case {
    const char* name;
    ScriptedCpu cpu;
    IsaFeatureSet expected;
  };
  ScriptedCpu avx2_without_os_state = everything();
  avx2_without_os_state.xcr0 = 0x3;  // x87 and SSE only: the system does not save AVX state
  ScriptedCpu vnni_without_f = everything();
  vnni_without_f.leaf7_ebx &= ~b(16);
  ScriptedCpu leaf_zero = everything();
  leaf_zero.highest_leaf = 0;
  ScriptedCpu leaf_six = everything();
  leaf_six.highest_leaf = 6;
  ScriptedCpu no_osxsave = everything();
  no_osxsave.osxsave = false;
  ScriptedCpu no_amx_state = everything();
  no_amx_state.xcr0 = 0xE7;
  ScriptedCpu no_avx512_state = everything();
  no_avx512_state.xcr0 = 0x60007;
  ScriptedCpu partial_vaes512 = everything();
  partial_vaes512.leaf7_ebx &= ~b(17);  // vaes512 needs dq (17) as well

  const IsaFeatureSet no_state_rules =
      set_of({IsaFeature::kAesni, IsaFeature::kPclmul, IsaFeature::kSse, IsaFeature::kSse2,
              IsaFeature::kSse3, IsaFeature::kSse41, IsaFeature::kX86Fma, IsaFeature::kShani,
              IsaFeature::kGfni});
  const IsaFeatureSet leaf1_only =
      set_of({IsaFeature::kAesni, IsaFeature::kPclmul, IsaFeature::kSse, IsaFeature::kSse2,
              IsaFeature::kSse3, IsaFeature::kSse41, IsaFeature::kAvx, IsaFeature::kF16c,
              IsaFeature::kX86Fma});
  const IsaFeatureSet needs_foundation = set_of(
      {IsaFeature::kAvx512f, IsaFeature::kAvx512dq, IsaFeature::kAvx512bw, IsaFeature::kAvx512vl,
       IsaFeature::kVaes512, IsaFeature::kAvx512vbmi, IsaFeature::kAvx512vbmi2});
  const IsaFeatureSet avx512_state =
      needs_foundation | set_of({IsaFeature::kAvx512vnni, IsaFeature::kAvx512fp16});

  const Case cases[] = {
      {"every feature", everything(), kAllX86},
      {"AVX2 reported without AVX state", avx2_without_os_state, no_state_rules},
      {"AVX512VNNI without AVX512F", vnni_without_f, kAllX86 & ~needs_foundation},
      {"highest basic leaf 0", leaf_zero, 0},
      {"highest basic leaf below 7", leaf_six, leaf1_only},
      {"OSXSAVE clear", no_osxsave, no_state_rules},
      {"no tile state", no_amx_state, kAllX86 & ~set_of({IsaFeature::kAmxInt8})},
      {"no AVX-512 state", no_avx512_state, kAllX86 & ~avx512_state},
      {"vaes512 needs all four bits", partial_vaes512,
       kAllX86 & ~set_of({IsaFeature::kVaes512, IsaFeature::kAvx512dq})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCpuInstructions cpu;
    c.cpu.install(cpu);
    EXPECT_EQ(isa_feature_string(probe_isa_features()), isa_feature_string(c.expected));
    EXPECT_EQ(probe_isa_features(), c.expected);
    for (std::int32_t id = 0; id < 24; ++id) {
      SCOPED_TRACE(id);
      EXPECT_EQ(probe_isa_feature(static_cast<IsaFeature>(id)), ((c.expected >> id) & 1) != 0);
    }
  }
}

TEST(IsaFeatures, OsSupportsXstate) {
  FakeCpuInstructions cpu;
  ScriptedCpu scripted = everything();
  scripted.xcr0 = 0x7;
  scripted.install(cpu);
  EXPECT_TRUE(os_supports_xstate(kXstateAvx));
  EXPECT_FALSE(os_supports_xstate(kXstateAvx512));
  EXPECT_FALSE(os_supports_xstate(0x6 | 0x20));  // every bit of the mask is needed

  // Without OSXSAVE the instruction would fault: it must not be executed at all.
  scripted.osxsave = false;
  scripted.install(cpu);
  cpu.xgetbv_calls = 0;
  EXPECT_FALSE(os_supports_xstate(kXstateAvx));
  EXPECT_FALSE(probe_isa_feature(IsaFeature::kAvx2));
  EXPECT_EQ(cpu.xgetbv_calls, 0);
}

TEST(IsaFeatures, OtherArchitecturesAreAbsentWithoutExecutingAnything) {
  FakeCpuInstructions cpu;
  everything().install(cpu);
  for (const auto& [id, name] : isa_feature_names) {
    if (id < 32) continue;
    SCOPED_TRACE(name);
    EXPECT_FALSE(probe_isa_feature(static_cast<IsaFeature>(id)));
  }
  EXPECT_EQ(cpu.cpuid_calls, 0);
  EXPECT_EQ(cpu.xgetbv_calls, 0);
}

TEST(IsaFeatures, FeatureString) {
  const std::pair<IsaFeatureSet, std::string> cases[] = {
      {0, ""},
      {set_of({IsaFeature::kSse, IsaFeature::kSse2, IsaFeature::kSse3, IsaFeature::kSse41}),
       "sse sse2 sse3 sse41"},
      {set_of({IsaFeature::kX86Fma}), "fma"},
      {set_of({IsaFeature::kAesni, IsaFeature::kX86Fma, IsaFeature::kAvx512vbmi2}),
       "aesni fma avx512vbmi2"},
      // Bits that name nothing contribute no name and no separator.
      {set_of({IsaFeature::kAvx}) | (IsaFeatureSet{1} << 24) | (IsaFeatureSet{1} << 63), "avx"},
      {IsaFeatureSet{1} << 30, ""},
      {set_of({IsaFeature::kArmv8Aes, IsaFeature::kRiscvZvfh}), "armv8_aes riscv_zvfh"},
  };
  for (const auto& [set, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(isa_feature_string(set), text);
  }
}

TEST(IsaFeatures, CachedSetIsComputedOnceAndNeverAgain) {
  const IsaFeatureSet real = isa_features();
  EXPECT_EQ(real, probe_isa_features());
  EXPECT_EQ(real & ~kIsaFeatureSetPlatformMask, 0u);
  EXPECT_EQ(isa_feature_string(), isa_feature_string(real));

  FakeCpuInstructions cpu;  // a processor without anything
  EXPECT_EQ(probe_isa_features(), 0u);
  EXPECT_EQ(isa_features(), real);
  EXPECT_EQ(has_isa_feature(IsaFeature::kSse2), ((real >> 5) & 1) != 0);
  EXPECT_GT(cpu.cpuid_calls, 0);
}

// The kernel's own view of this processor, as /proc/cpuinfo names the flags.
std::set<std::string> kernel_cpu_flags() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string word; words >> word;) flags.insert(word);
    return flags;
  }
  return {};
}

TEST(IsaFeatures, AgreesWithTheKernelOnThisMachine) {
  const std::set<std::string> flags = kernel_cpu_flags();
  if (flags.empty()) GTEST_SKIP() << "/proc/cpuinfo has no flags line";
  // Our feature, and the kernel's name for it where both name the same thing.
  const std::pair<IsaFeature, const char*> both[] = {
      {IsaFeature::kAesni, "aes"},
      {IsaFeature::kPclmul, "pclmulqdq"},
      {IsaFeature::kSse, "sse"},
      {IsaFeature::kSse2, "sse2"},
      {IsaFeature::kSse3, "pni"},
      {IsaFeature::kSse41, "sse4_1"},
      {IsaFeature::kAvx, "avx"},
      {IsaFeature::kF16c, "f16c"},
      {IsaFeature::kAvx2, "avx2"},
      {IsaFeature::kAvxVnni, "avx_vnni"},
      {IsaFeature::kAvx512f, "avx512f"},
      {IsaFeature::kAvx512dq, "avx512dq"},
      {IsaFeature::kAvx512bw, "avx512bw"},
      {IsaFeature::kAvx512vl, "avx512vl"},
      {IsaFeature::kAvx512vnni, "avx512_vnni"},
      {IsaFeature::kAvx512fp16, "avx512_fp16"},
      {IsaFeature::kX86Fma, "fma"},
      {IsaFeature::kAmxInt8, "amx_int8"},
      {IsaFeature::kShani, "sha_ni"},
      {IsaFeature::kGfni, "gfni"},
      {IsaFeature::kAvx512vbmi, "avx512vbmi"},
      {IsaFeature::kAvx512vbmi2, "avx512_vbmi2"},
  };
  for (const auto& [feature, flag] : both) {
    SCOPED_TRACE(flag);
    EXPECT_EQ(has_isa_feature(feature), flags.count(flag) != 0);
  }
}

TEST(Architecture, Names) {
  const std::pair<Architecture, const char*> cases[] = {
      {static_cast<Architecture>(1), "aarch64"},  {static_cast<Architecture>(2), "x86_64"},
      {static_cast<Architecture>(3), "avx2"},     {static_cast<Architecture>(4), "rv64gc"},
      {static_cast<Architecture>(5), "rv64gcbv"},
  };
  for (const auto& [architecture, name] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(architecture_name(architecture), name);
  }
  const int saved = base::min_severity();
  base::set_min_severity(base::kLogFatal + 1);  // the failed check logs; keep the output quiet
  for (int bad : {0, 6, -1}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW((void)architecture_name(static_cast<Architecture>(bad)), base::CheckException);
  }
  base::set_min_severity(saved);
}

TEST(Architecture, DetectionFromHostAndFeatures) {
  struct Case {
    const char* name;
    bool query_available;
    bool query_succeeds;
    std::uint16_t native_machine;
    ScriptedCpu cpu;
    Architecture expected;
    std::vector<Architecture> candidates;
  };
  const std::vector<Architecture> x86 = {Architecture::kAvx2, Architecture::kX86_64};
  const std::vector<Architecture> arm = {Architecture::kAarch64};
  ScriptedCpu avx2 = everything();
  ScriptedCpu avx2_without_state = everything();
  avx2_without_state.xcr0 = 0x3;
  ScriptedCpu avx512_without_avx2 = everything();
  avx512_without_avx2.leaf7_ebx &= ~b(5);
  ScriptedCpu bare;  // leaf 7 but no feature bits
  const Case cases[] = {
      {"x86-64 host with AVX2", true, true, 0x8664, avx2, Architecture::kAvx2, x86},
      {"emulated on an ARM64 host", true, true, 0xAA64, avx2, Architecture::kAarch64, arm},
      {"ARM64 host, bare processor", true, true, 0xAA64, bare, Architecture::kAarch64, arm},
      {"host query missing", false, true, 0xAA64, avx2, Architecture::kAvx2, x86},
      {"host query fails", true, false, 0xAA64, bare, Architecture::kX86_64, x86},
      {"AVX2 without OS state", true, true, 0x8664, avx2_without_state, Architecture::kX86_64, x86},
      {"AVX-512 but no AVX2", true, true, 0x8664, avx512_without_avx2, Architecture::kX86_64, x86},
      {"unknown native machine", true, true, 0, bare, Architecture::kX86_64, x86},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    system.host_query_available = c.query_available;
    if (c.query_succeeds) {
      system.host_machines = FakeSystem::HostMachines{0, c.native_machine};
    } else {
      system.host_machines.reset();
    }
    FakeCpuInstructions cpu;
    c.cpu.install(cpu);
    std::unique_ptr<WindowsSystem> model(new_system_model());
    EXPECT_EQ(detect_architecture(*model, probe_isa_features()), c.expected);
    EXPECT_EQ(candidate_architectures(*model), c.candidates);
    EXPECT_EQ(model->is_arm64_host(), c.expected == Architecture::kAarch64);
  }
}

TEST(Architecture, DetectionOnThisMachine) {
  const Architecture detected = detect_architecture();
  EXPECT_EQ(detected,
            has_isa_feature(IsaFeature::kAvx2) ? Architecture::kAvx2 : Architecture::kX86_64);
  EXPECT_FALSE(system_model()->is_arm64_host());
  EXPECT_EQ(candidate_architectures(),
            (std::vector<Architecture>{Architecture::kAvx2, Architecture::kX86_64}));
}

}  // namespace
