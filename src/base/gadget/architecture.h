// Instruction-set features of the processor that runs the program, and the choice of the worker
// build that suits the machine.
//
// Features come from CPUID and, for extensions with register state, from the operating system's
// extended-state mask (XCR0), both read through base::platform::CpuInstructions. The Arm and
// RISC-V entries exist so the table and the build names match on every platform; on x86-64 they
// are always absent.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/platform/cpu_instructions.h"

class WindowsSystem;

using CpuidRegisters = base::platform::CpuidRegisters;

// A named instruction-set feature; its value is its bit in IsaFeatureSet.
enum class IsaFeature : std::int32_t {
  kAesni = 0,
  kPclmul = 1,
  kVaes512 = 2,
  kVaes256 = 3,
  kSse = 4,
  kSse2 = 5,
  kSse3 = 6,
  kSse41 = 7,
  kAvx = 8,
  kF16c = 9,
  kAvx2 = 10,
  kAvxVnni = 11,
  kAvx512f = 12,
  kAvx512dq = 13,
  kAvx512bw = 14,
  kAvx512vl = 15,
  kAvx512vnni = 16,
  kAvx512fp16 = 17,
  kX86Fma = 18,
  kAmxInt8 = 19,
  kShani = 20,
  kGfni = 21,
  kAvx512vbmi = 22,
  kAvx512vbmi2 = 23,
  kArmv8Aes = 32,
  kArmv8Sha1 = 33,
  kArmv8Sha2 = 34,
  kArmv8Dotprod = 35,
  kArmv8I8mm = 36,
  kArmv8Fp16 = 37,
  kArmv8Sve = 38,
  kArmv8Sme = 39,
  kArmv8Sme2 = 40,
  kRiscvV = 48,
  kRiscvZvkb = 49,
  kRiscvZvkg = 50,
  kRiscvZvkned = 51,
  kRiscvZvfh = 52,
};

// Bit n set when feature n is present. Bits naming no feature are always clear.
using IsaFeatureSet = std::uint64_t;

// The Arm and RISC-V bits, cleared from every set computed on this platform.
inline constexpr IsaFeatureSet kIsaFeatureSetPlatformMask = 0xffe0fe00ffffffffull;

// Operating-system state masks (XCR0 bits): SSE and AVX; opmask and both ZMM halves; AMX tiles.
inline constexpr std::uint64_t kXstateAvx = 0x6;
inline constexpr std::uint64_t kXstateAvx512 = 0xE0;
inline constexpr std::uint64_t kXstateAmx = 0x60000;

// Feature id to name, exactly the 38 named features ("x86_fma", "sse41", ...). Built during
// static initialisation; read-only afterwards.
extern const std::map<std::int32_t, std::string> isa_feature_names;

// Executes CPUID with EAX = leaf and ECX = subleaf. Not cached.
[[nodiscard]] CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0);

// True when the highest basic leaf is not 0, OSXSAVE (leaf 1 ECX bit 27) is set and XCR0 holds
// every bit of `mask`.
[[nodiscard]] bool os_supports_xstate(std::uint64_t mask);

// The feature's rule evaluated now, with fresh CPUID and XGETBV on every call. Sees changes of
// the operating system's state that the cached set does not. False for Arm and RISC-V features.
[[nodiscard]] bool probe_isa_feature(IsaFeature feature);

// Every rule evaluated now, Arm and RISC-V bits cleared: what isa_features() caches.
[[nodiscard]] IsaFeatureSet probe_isa_features();

// The cached set: computed on the first call from any thread (concurrent first callers wait for
// one computation), then a single read. Never recomputed.
[[nodiscard]] IsaFeatureSet isa_features();

// Bit `feature` of the cached set.
[[nodiscard]] bool has_isa_feature(IsaFeature feature);

// Names of the features in `set` in ascending id order, one space apart, with the first "x86_"
// removed from each ("fma", not "x86_fma"). Empty for an empty set; never starts or ends with a
// space. The one-argument-less form uses the cached set.
[[nodiscard]] std::string isa_feature_string(IsaFeatureSet set);
[[nodiscard]] std::string isa_feature_string();

// A build of the benchmark worker. Zero is not a member.
enum class Architecture : std::int32_t {
  kAarch64 = 1,
  kX86_64 = 2,
  kAvx2 = 3,
  kRv64gc = 4,
  kRv64gcbv = 5,
};

// The build's name as worker file names carry it: "aarch64", "x86_64", "avx2", "rv64gc",
// "rv64gcbv". Any other value is a failed check (throws base::CheckException).
[[nodiscard]] std::string architecture_name(Architecture architecture);

// The build for this machine: aarch64 when the process runs emulated on an ARM64 host, else
// avx2 when the cached avx2 feature is set, else x86_64. Constructs the shared system model on
// first use; its construction failures propagate.
[[nodiscard]] Architecture detect_architecture();
// The same decision for a given model and feature set.
[[nodiscard]] Architecture detect_architecture(WindowsSystem& system, IsaFeatureSet features);

// {aarch64} on an ARM64 host, otherwise {avx2, x86_64}; independent of the features.
[[nodiscard]] std::vector<Architecture> candidate_architectures();
[[nodiscard]] std::vector<Architecture> candidate_architectures(WindowsSystem& system);

// The ARM64 host test behind WindowsSystem::is_arm64_host: true only when the host-machine query
// exists, succeeds and names the native machine 0xAA64. Asked afresh on every call.
[[nodiscard]] bool query_arm64_host();
