#include "base/gadget/architecture.h"

#include "base/gadget/windows_system.h"
#include "base/logging.h"
#include "base/platform/platform.h"
#include "base/platform/system.h"

const std::map<std::int32_t, std::string> isa_feature_names = {
    {0, "aesni"},         {1, "pclmul"},      {2, "vaes512"},     {3, "vaes256"},
    {4, "sse"},           {5, "sse2"},        {6, "sse3"},        {7, "sse41"},
    {8, "avx"},           {9, "f16c"},        {10, "avx2"},       {11, "avxvnni"},
    {12, "avx512f"},      {13, "avx512dq"},   {14, "avx512bw"},   {15, "avx512vl"},
    {16, "avx512vnni"},   {17, "avx512fp16"}, {18, "x86_fma"},    {19, "amxint8"},
    {20, "shani"},        {21, "gfni"},       {22, "avx512vbmi"}, {23, "avx512vbmi2"},
    {32, "armv8_aes"},    {33, "armv8_sha1"}, {34, "armv8_sha2"}, {35, "armv8_dotprod"},
    {36, "armv8_i8mm"},   {37, "armv8_fp16"}, {38, "armv8_sve"},  {39, "armv8_sme"},
    {40, "armv8_sme2"},   {48, "riscv_v"},    {49, "riscv_zvkb"}, {50, "riscv_zvkg"},
    {51, "riscv_zvkned"}, {52, "riscv_zvfh"},
};

CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  return base::platform::get<base::platform::CpuInstructions>().cpuid(leaf, subleaf);
}

bool os_supports_xstate(std::uint64_t mask) {
  if (cpuid(0).eax == 0) return false;
  if (((cpuid(1).ecx >> 27) & 1) == 0) return false;  // OSXSAVE: XGETBV would fault
  const std::uint64_t xcr0 = base::platform::get<base::platform::CpuInstructions>().xgetbv(0);
  return (xcr0 & mask) == mask;
}

namespace {

bool bit(std::uint32_t value, int n) { return ((value >> n) & 1) != 0; }

// The registers every feature rule reads, taken with one CPUID per leaf. A leaf the processor
// does not have reads as zeros; XGETBV runs only when OSXSAVE says it may. CPUID is slow under a
// hypervisor (each one exits to it), so the whole table is evaluated from one snapshot.
struct FeatureRegisters {
  CpuidRegisters leaf1;
  CpuidRegisters leaf7;
  CpuidRegisters leaf7_1;
  bool xstate_readable = false;  // highest basic leaf not 0 and OSXSAVE set
  std::uint64_t xcr0 = 0;

  static FeatureRegisters read() {
    FeatureRegisters r;
    const std::uint32_t highest = cpuid(0).eax;
    if (highest == 0) return r;
    r.leaf1 = cpuid(1);
    if (highest >= 7) {
      r.leaf7 = cpuid(7, 0);
      r.leaf7_1 = cpuid(7, 1);
    }
    r.xstate_readable = bit(r.leaf1.ecx, 27);
    if (r.xstate_readable) {
      r.xcr0 = base::platform::get<base::platform::CpuInstructions>().xgetbv(0);
    }
    return r;
  }

  // The same test as os_supports_xstate, on this snapshot.
  bool state(std::uint64_t mask) const { return xstate_readable && (xcr0 & mask) == mask; }
};

bool feature_present(IsaFeature feature, const FeatureRegisters& r) {
  const bool avx_state = r.state(kXstateAvx);
  const bool avx512_state = avx_state && r.state(kXstateAvx512);
  const bool avx512_foundation = avx512_state && bit(r.leaf7.ebx, 16);
  switch (feature) {
    case IsaFeature::kAesni:
      return bit(r.leaf1.ecx, 25);
    case IsaFeature::kPclmul:
      return bit(r.leaf1.ecx, 1);
    case IsaFeature::kVaes512:
      return bit(r.leaf7.ebx, 31) && bit(r.leaf7.ebx, 17) && bit(r.leaf7.ebx, 30) &&
             bit(r.leaf7.ecx, 9) && avx512_foundation;
    case IsaFeature::kVaes256:
      return bit(r.leaf7.ebx, 5) && bit(r.leaf7.ecx, 9) && avx_state;
    case IsaFeature::kSse:
      return bit(r.leaf1.edx, 25);
    case IsaFeature::kSse2:
      return bit(r.leaf1.edx, 26);
    case IsaFeature::kSse3:
      return bit(r.leaf1.ecx, 0);
    case IsaFeature::kSse41:
      return bit(r.leaf1.ecx, 19);
    case IsaFeature::kAvx:
      return bit(r.leaf1.ecx, 28) && avx_state;
    case IsaFeature::kF16c:
      return bit(r.leaf1.ecx, 29) && avx_state;
    case IsaFeature::kAvx2:
      return bit(r.leaf7.ebx, 5) && avx_state;
    // Only the basic leaf is tested, not the subleaf count leaf 7 reports.
    case IsaFeature::kAvxVnni:
      return bit(r.leaf7_1.eax, 4) && avx_state;
    case IsaFeature::kAvx512f:
      return bit(r.leaf7.ebx, 16) && avx512_state;
    case IsaFeature::kAvx512dq:
      return bit(r.leaf7.ebx, 17) && avx512_foundation;
    case IsaFeature::kAvx512bw:
      return bit(r.leaf7.ebx, 30) && avx512_foundation;
    case IsaFeature::kAvx512vl:
      return bit(r.leaf7.ebx, 31) && avx512_foundation;
    // VNNI and FP16 need the AVX-512 state but not the foundation bit.
    case IsaFeature::kAvx512vnni:
      return bit(r.leaf7.ecx, 11) && avx512_state;
    case IsaFeature::kAvx512fp16:
      return bit(r.leaf7.edx, 23) && avx512_state;
    case IsaFeature::kX86Fma:
      return bit(r.leaf1.ecx, 12);
    case IsaFeature::kAmxInt8:
      return bit(r.leaf7.edx, 24) && bit(r.leaf7.edx, 25) && r.state(kXstateAmx);
    case IsaFeature::kShani:
      return bit(r.leaf7.ebx, 29);
    case IsaFeature::kGfni:
      return bit(r.leaf7.ecx, 8);
    case IsaFeature::kAvx512vbmi:
      return bit(r.leaf7.ecx, 1) && avx512_foundation;
    case IsaFeature::kAvx512vbmi2:
      return bit(r.leaf7.ecx, 6) && avx512_foundation;
    default:
      return false;  // Arm and RISC-V features, and ids naming nothing
  }
}

bool is_x86_feature(IsaFeature feature) {
  const auto id = static_cast<std::int32_t>(feature);
  return id >= 0 && id <= 23;
}

}  // namespace

bool probe_isa_feature(IsaFeature feature) {
  if (!is_x86_feature(feature)) return false;  // nothing to execute on this platform
  return feature_present(feature, FeatureRegisters::read());
}

IsaFeatureSet probe_isa_features() {
  const FeatureRegisters registers = FeatureRegisters::read();
  IsaFeatureSet set = 0;
  for (std::int32_t id = 0; id <= 23; ++id) {
    if (feature_present(static_cast<IsaFeature>(id), registers)) set |= IsaFeatureSet{1} << id;
  }
  return set & kIsaFeatureSetPlatformMask;
}

IsaFeatureSet isa_features() {
  // Heap-allocated and never freed, so late readers during exit still find it.
  static const IsaFeatureSet* const features = new IsaFeatureSet(probe_isa_features());
  return *features;
}

bool has_isa_feature(IsaFeature feature) {
  const auto n = static_cast<std::uint32_t>(feature);
  return n < 64 && ((isa_features() >> n) & 1) != 0;
}

std::string isa_feature_string(IsaFeatureSet set) {
  std::string text;
  bool first = true;
  for (std::int32_t n = 0; n < 64; ++n) {
    if (((set >> n) & 1) == 0) continue;
    // A bit naming nothing adds nothing, not even a separator.
    auto it = isa_feature_names.find(n);
    if (it == isa_feature_names.end()) continue;
    if (!first) text += ' ';
    first = false;
    std::string name = it->second;
    if (const auto prefix = name.find("x86_"); prefix != std::string::npos) name.erase(prefix, 4);
    text += name;
  }
  return text;
}

std::string isa_feature_string() { return isa_feature_string(isa_features()); }

std::string architecture_name(Architecture architecture) {
  switch (architecture) {
    case Architecture::kAarch64:
      return "aarch64";
    case Architecture::kX86_64:
      return "x86_64";
    case Architecture::kAvx2:
      return "avx2";
    case Architecture::kRv64gc:
      return "rv64gc";
    case Architecture::kRv64gcbv:
      return "rv64gcbv";
  }
  CHECK(false);
  return {};
}

bool query_arm64_host() {
  auto& system = base::platform::get<base::platform::System>();
  if (!system.host_machine_query_available()) return false;
  std::uint16_t process_machine = 0;
  std::uint16_t native_machine = 0;
  if (!system.query_host_machines(&process_machine, &native_machine)) return false;
  return native_machine == base::platform::kMachineArm64;
}

Architecture detect_architecture(WindowsSystem& system, IsaFeatureSet features) {
  if (system.is_arm64_host()) return Architecture::kAarch64;
  const bool avx2 = ((features >> static_cast<int>(IsaFeature::kAvx2)) & 1) != 0;
  return avx2 ? Architecture::kAvx2 : Architecture::kX86_64;
}

Architecture detect_architecture() { return detect_architecture(*system_model(), isa_features()); }

std::vector<Architecture> candidate_architectures(WindowsSystem& system) {
  if (system.is_arm64_host()) return {Architecture::kAarch64};
  return {Architecture::kAvx2, Architecture::kX86_64};
}

std::vector<Architecture> candidate_architectures() {
  return candidate_architectures(*system_model());
}
