#include "base/gadget/windows_system.h"

#include <fmt/format.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "base/gadget/architecture.h"
#include "base/platform/platform.h"
#include "base/platform/system.h"

namespace {

// Fixed for the build: the platform and the processor architecture it was compiled for.
#if defined(_WIN32)
constexpr const char* kPlatformName = "Windows";
#elif defined(__APPLE__)
constexpr const char* kPlatformName = "macOS";
#elif defined(__linux__)
constexpr const char* kPlatformName = "Linux";
#else
constexpr const char* kPlatformName = "Unknown";
#endif

#if defined(__x86_64__) || defined(_M_X64)
constexpr const char* kArchitectureName = "x86 (64-bit)";
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr const char* kArchitectureName = "ARM (64-bit)";
#elif defined(__riscv) && __riscv_xlen == 64
constexpr const char* kArchitectureName = "RISC-V (64-bit)";
#else
constexpr const char* kArchitectureName = "unknown";
#endif

// The compiler's family and its own version text from its predefined macros. GCC's version
// macro is the bare number, so the family is put in front to read like the others.
#if defined(__clang__)
constexpr const char* kCompilerName = "Clang";
constexpr const char* kCompilerVersion = __VERSION__;
#elif defined(__GNUC__)
constexpr const char* kCompilerName = "GCC";
constexpr const char* kCompilerVersion = "GCC " __VERSION__;
#elif defined(_MSC_VER)
#define CORVALITH_STRINGIFY2(x) #x
#define CORVALITH_STRINGIFY(x) CORVALITH_STRINGIFY2(x)
constexpr const char* kCompilerName = "MSVC";
constexpr const char* kCompilerVersion = "MSVC " CORVALITH_STRINGIFY(_MSC_FULL_VER);
#else
constexpr const char* kCompilerName = "Unknown";
constexpr const char* kCompilerVersion = "Unknown";
#endif

base::platform::System& os() { return base::platform::get<base::platform::System>(); }

}  // namespace

std::uint32_t ProcessorRecord::sharing(CacheLevel level) const {
  const std::uint32_t shared = cache_sharing[static_cast<int>(level)];
  if (shared != 0) return shared;
  // The initial record has no packages; that must not divide by zero.
  return counts.packages == 0 ? 0 : counts.threads / counts.packages;
}

BaseSystem::BaseSystem() = default;
BaseSystem::~BaseSystem() = default;

std::string BaseSystem::platform() {
  return fmt::format("{} {}", kPlatformName, kArchitectureName);
}
std::string BaseSystem::compiler() { return kCompilerVersion; }
std::string BaseSystem::compiler_name() { return kCompilerName; }
std::string BaseSystem::os_name() { return {}; }
std::string BaseSystem::os_release_id() { return {}; }
std::string BaseSystem::kernel() { return {}; }
std::string BaseSystem::model() { return {}; }
std::string BaseSystem::reserved_text_a() { return {}; }
std::string BaseSystem::reserved_text_b() { return {}; }
std::string BaseSystem::motherboard() { return {}; }
std::string BaseSystem::bios() { return {}; }
std::string BaseSystem::chassis_manufacturer() { return {}; }
std::uint32_t BaseSystem::chassis_type() { return 2; }
std::string BaseSystem::reserved_text_c() { return {}; }
std::string BaseSystem::reserved_text_d() { return {}; }
std::string BaseSystem::processor_name() { return processor_.name; }
std::string BaseSystem::processor_brand() { return processor_.brand; }
std::string BaseSystem::processor_id() { return processor_.id; }
std::uint32_t BaseSystem::thread_count() { return processor_.counts.threads; }
std::uint32_t BaseSystem::core_count() { return processor_.counts.cores; }
std::uint32_t BaseSystem::package_count() { return processor_.counts.packages; }
std::uint32_t BaseSystem::cluster_count() { return 1; }
// Worded from the cluster table once the topology is read; until then there is nothing to say.
std::string BaseSystem::cluster_description(std::uint32_t) { return {}; }
std::int32_t BaseSystem::cluster_performance_level(std::uint32_t) { return 0; }
std::uint32_t BaseSystem::cluster_cores(std::uint32_t) { return 0; }
std::uint32_t BaseSystem::cluster_threads(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::reserved_cluster_value_a(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::reserved_cluster_value_b(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::reserved_cluster_value_c(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::reserved_cluster_value_d(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::cluster_minimum_frequency(std::uint32_t) { return 0; }
std::uint64_t BaseSystem::cluster_maximum_frequency(std::uint32_t) { return 0; }
std::string BaseSystem::processor_summary() { return {}; }
std::uint64_t BaseSystem::numa_node_count() { return 0; }
std::uint64_t BaseSystem::processor_frequency() { return processor_.frequency; }
std::uint64_t BaseSystem::reserved_count_a() { return 0; }
std::uint32_t BaseSystem::l1i_cache_size() { return processor_.cache_size[0]; }
std::uint32_t BaseSystem::l1d_cache_size() { return processor_.cache_size[1]; }
std::uint32_t BaseSystem::l2_cache_size() { return processor_.cache_size[2]; }
std::uint32_t BaseSystem::l3_cache_size() { return processor_.cache_size[3]; }
std::uint32_t BaseSystem::l4_cache_size() { return processor_.cache_size[4]; }

std::uint32_t BaseSystem::cache_count(CacheLevel level) const {
  // Unknown packages would divide by zero; one cache per package is the safe answer.
  if (processor_.counts.packages == 0) return 1;
  const std::uint32_t per_package = processor_.counts.threads / processor_.counts.packages;
  const std::uint32_t shared = processor_.sharing(level);
  if (shared == 0 || shared > per_package) return 1;
  return per_package / shared;
}

std::uint32_t BaseSystem::l1i_cache_count() { return cache_count(CacheLevel::kL1i); }
std::uint32_t BaseSystem::l1d_cache_count() { return cache_count(CacheLevel::kL1d); }
std::uint32_t BaseSystem::l2_cache_count() { return cache_count(CacheLevel::kL2); }
std::uint32_t BaseSystem::l3_cache_count() { return cache_count(CacheLevel::kL3); }
std::uint32_t BaseSystem::l4_cache_count() { return cache_count(CacheLevel::kL4); }
std::uint64_t BaseSystem::bus_frequency() { return 0; }
std::uint64_t BaseSystem::memory_size() { return 0; }
std::string BaseSystem::memory_type() { return {}; }
std::uint64_t BaseSystem::memory_clock_frequency() { return 0; }
std::uint64_t BaseSystem::memory_transfer_rate() { return 0; }
std::uint64_t BaseSystem::memory_channel_count() { return 0; }
std::uint64_t BaseSystem::memory_cas_latency() { return 0; }
std::uint64_t BaseSystem::memory_ras_to_cas_delay() { return 0; }
std::uint64_t BaseSystem::memory_ras_precharge() { return 0; }
std::uint64_t BaseSystem::memory_cycle_time() { return 0; }
std::uint64_t BaseSystem::memory_bank_cycle_time() { return 0; }
std::uint64_t BaseSystem::memory_command_rate() { return 0; }
std::vector<std::string> BaseSystem::gpu_names() { return {}; }
std::uint64_t BaseSystem::gpu_core_count() { return 0; }
std::string BaseSystem::primary_mac_address() { return {}; }
std::string BaseSystem::machine_id() { return {}; }
std::uint32_t BaseSystem::battery_saver_state() { return 0; }
float BaseSystem::reserved_real() { return -1.0f; }
std::uint64_t BaseSystem::reserved_count_b() { return 0; }
std::uint64_t BaseSystem::reserved_count_c() { return 0; }
std::int32_t BaseSystem::battery_percent() { return -1; }
BatteryState BaseSystem::battery_state() { return BatteryState::kUnknown; }
std::string BaseSystem::battery_chemistry() { return {}; }
std::uint64_t BaseSystem::reserved_count_d() { return 0; }
std::uint32_t BaseSystem::battery_voltage() { return 0; }
std::int64_t BaseSystem::battery_cycle_count() { return -1; }
std::int64_t BaseSystem::display_brightness() { return -1; }
bool BaseSystem::on_battery_power() { return false; }
bool BaseSystem::has_battery() { return false; }
bool BaseSystem::set_display_brightness(std::uint64_t) { return false; }
bool BaseSystem::keep_awake(bool) { return false; }
bool BaseSystem::reserved_flag() { return false; }
bool BaseSystem::ibtpgo_module_loaded() { return false; }

std::string BaseSystem::computer_name() {
  char buffer[256] = {};
  if (!os().computer_name(buffer, sizeof buffer)) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

WindowsSystem::WindowsSystem() = default;
WindowsSystem::~WindowsSystem() = default;

std::uint32_t WindowsSystem::cluster_count() {
  return static_cast<std::uint32_t>(cluster_classes.size());
}

std::int32_t WindowsSystem::cluster_performance_level(std::uint32_t index) {
  return index < cluster_classes.size() ? cluster_classes[index] : 0;
}

std::uint32_t WindowsSystem::cluster_cores(std::uint32_t index) {
  if (index >= cluster_classes.size()) return 0;
  auto it = cluster_core_counts.find(cluster_classes[index]);
  return it == cluster_core_counts.end() ? 0 : it->second;
}

std::uint32_t WindowsSystem::cluster_threads(std::uint32_t index) {
  if (index >= cluster_classes.size()) return 0;
  auto it = cluster_thread_counts.find(cluster_classes[index]);
  return it == cluster_thread_counts.end() ? 0 : it->second;
}

bool WindowsSystem::keep_awake(bool on) {
  using namespace base::platform;
  const std::uint32_t flags =
      kExecutionContinuous | (on ? kExecutionSystemRequired | kExecutionDisplayRequired : 0u);
  return os().set_thread_execution_state(flags) != 0;
}

bool WindowsSystem::ibtpgo_module_loaded() { return os().module_loaded("ibtpgo64.dll"); }

bool WindowsSystem::is_arm64_host() { return query_arm64_host(); }
std::string WindowsSystem::processor_codename() { return {}; }
std::string WindowsSystem::processor_package() { return {}; }
std::uint64_t WindowsSystem::reserved_count_e() { return 0; }
std::uint64_t WindowsSystem::processor_stock_frequency() { return 0; }
std::uint64_t WindowsSystem::bus_stock_frequency() { return 0; }
float WindowsSystem::cpu_minimum_multiplier() { return 0.0f; }
float WindowsSystem::cpu_maximum_multiplier() { return 0.0f; }
std::string WindowsSystem::power_plan() { return {}; }
std::uint64_t WindowsSystem::displayed_processor_frequency() { return processor_frequency(); }
std::string WindowsSystem::northbridge() { return {}; }
std::string WindowsSystem::southbridge() { return {}; }
void WindowsSystem::periodic_update() {}

void WindowsSystem::start_periodic_updates() {
  // The threads are kept for the life of the process and never joined, so their objects must
  // never be destroyed (destroying a joinable thread ends the process).
  static std::mutex* const mutex = new std::mutex;
  static auto* const threads = new std::vector<std::thread*>;
  auto* thread = new std::thread([this] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      periodic_update();
    }
  });
  std::lock_guard<std::mutex> lock(*mutex);
  threads->push_back(thread);
}

WindowsSystem*& shared_system_model() {
  static WindowsSystem* shared = nullptr;
  return shared;
}

WindowsSystem* system_model() {
  WindowsSystem*& shared = shared_system_model();
  // A throwing constructor releases the storage and leaves the pointer null.
  if (shared == nullptr) shared = new WindowsSystem();
  return shared;
}

WindowsSystem* new_system_model() { return new WindowsSystem(); }
