// The system model: the one object through which the program asks about the machine.
//
// BaseSystem fixes every question and answers each with a portable implementation or a neutral
// default meaning "not known here" (empty text, 0, -1, -1.0). WindowsSystem is this program's
// model: it overrides what the system can answer and adds operations of its own. Obtain the
// shared instance with system_model(); answers that the machine cannot give are defaults, never
// exceptions.
//
//   if (system_model()->is_arm64_host()) ...
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Processor vendors. 1 and 3 are never produced.
enum class CpuVendor : std::int32_t {
  kAmd = 0,
  kIntel = 2,
  kCentaur = 4,
  kOther = 5,
};

// Logical processors, physical cores and packages.
struct ProcessorCounts {
  std::uint32_t threads = 0;
  std::uint32_t cores = 0;
  std::uint32_t packages = 0;
};

// Cache levels, in the order the processor record keeps them.
enum class CacheLevel : int { kL1i = 0, kL1d = 1, kL2 = 2, kL3 = 3, kL4 = 4 };
inline constexpr int kCacheLevelCount = 5;

// What the model knows about the processor, computed once when the model is constructed. The
// initial state: vendor other, empty texts, every number 0.
struct ProcessorRecord {
  CpuVendor vendor = CpuVendor::kOther;
  std::string id;               // identification text (vendor, family, model, stepping)
  std::string brand;            // the brand string the processor reports
  std::string name;             // marketing name
  std::uint64_t frequency = 0;  // Hz
  ProcessorCounts counts;
  std::uint32_t cache_size[kCacheLevelCount] = {};     // bytes, one cache of the level
  std::uint32_t cache_sharing[kCacheLevelCount] = {};  // logical processors per cache; 0 unknown

  // The level's sharing count, or threads per package when it is 0 (0 when packages is unknown).
  [[nodiscard]] std::uint32_t sharing(CacheLevel level) const;
};

// Charging state of the battery.
enum class BatteryState : std::int32_t {
  kUnknown = 0,  // no battery, or the system cannot say
  kCharging = 1,
  kDischarging = 3,
  kOnMainsNotCharging = 4,
};

// The whole list of questions, with portable answers or defaults. Queries do not throw.
class BaseSystem {
 public:
  BaseSystem();
  virtual ~BaseSystem();
  BaseSystem(const BaseSystem&) = delete;
  BaseSystem& operator=(const BaseSystem&) = delete;

  [[nodiscard]] virtual bool ready() = 0;
  // The build's platform and processor architecture, e.g. "Linux x86 (64-bit)".
  [[nodiscard]] virtual std::string platform();
  // Full version text of the compiler that built the program, and its family name.
  [[nodiscard]] virtual std::string compiler();
  [[nodiscard]] virtual std::string compiler_name();
  [[nodiscard]] virtual std::string os_name();
  [[nodiscard]] virtual std::string os_release_id();
  [[nodiscard]] virtual std::string kernel();
  [[nodiscard]] virtual std::string model();
  [[nodiscard]] virtual std::string reserved_text_a();
  [[nodiscard]] virtual std::string reserved_text_b();
  [[nodiscard]] virtual std::string motherboard();
  [[nodiscard]] virtual std::string bios();
  [[nodiscard]] virtual std::string chassis_manufacturer();
  // SMBIOS enclosure type; 2 ("unknown") while no firmware table is read.
  [[nodiscard]] virtual std::uint32_t chassis_type();
  [[nodiscard]] virtual std::string reserved_text_c();
  [[nodiscard]] virtual std::string reserved_text_d();
  [[nodiscard]] virtual std::string processor_name();
  [[nodiscard]] virtual std::string processor_brand();
  [[nodiscard]] virtual std::string processor_id();
  [[nodiscard]] virtual std::uint32_t thread_count();
  [[nodiscard]] virtual std::uint32_t core_count();
  [[nodiscard]] virtual std::uint32_t package_count();
  // Clusters of cores of one efficiency class; indexes run from 0 to cluster_count() - 1.
  [[nodiscard]] virtual std::uint32_t cluster_count();
  // Empty for an index at or above cluster_count().
  [[nodiscard]] virtual std::string cluster_description(std::uint32_t index);
  [[nodiscard]] virtual std::int32_t cluster_performance_level(std::uint32_t index);
  [[nodiscard]] virtual std::uint32_t cluster_cores(std::uint32_t index);
  [[nodiscard]] virtual std::uint32_t cluster_threads(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t reserved_cluster_value_a(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t reserved_cluster_value_b(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t reserved_cluster_value_c(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t reserved_cluster_value_d(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t cluster_minimum_frequency(std::uint32_t index);
  [[nodiscard]] virtual std::uint64_t cluster_maximum_frequency(std::uint32_t index);
  [[nodiscard]] virtual std::string processor_summary();
  [[nodiscard]] virtual std::uint64_t numa_node_count();
  [[nodiscard]] virtual std::uint64_t processor_frequency();
  [[nodiscard]] virtual std::uint64_t reserved_count_a();
  [[nodiscard]] virtual std::uint32_t l1i_cache_size();
  [[nodiscard]] virtual std::uint32_t l1d_cache_size();
  [[nodiscard]] virtual std::uint32_t l2_cache_size();
  [[nodiscard]] virtual std::uint32_t l3_cache_size();
  [[nodiscard]] virtual std::uint32_t l4_cache_size();
  // Caches of the level per package: 1 when the sharing is unknown or spans the package.
  [[nodiscard]] virtual std::uint32_t l1i_cache_count();
  [[nodiscard]] virtual std::uint32_t l1d_cache_count();
  [[nodiscard]] virtual std::uint32_t l2_cache_count();
  [[nodiscard]] virtual std::uint32_t l3_cache_count();
  [[nodiscard]] virtual std::uint32_t l4_cache_count();
  [[nodiscard]] virtual std::uint64_t bus_frequency();
  [[nodiscard]] virtual std::uint64_t memory_size();
  [[nodiscard]] virtual std::string memory_type();
  [[nodiscard]] virtual std::uint64_t memory_clock_frequency();
  [[nodiscard]] virtual std::uint64_t memory_transfer_rate();
  [[nodiscard]] virtual std::uint64_t memory_channel_count();
  [[nodiscard]] virtual std::uint64_t memory_cas_latency();
  [[nodiscard]] virtual std::uint64_t memory_ras_to_cas_delay();
  [[nodiscard]] virtual std::uint64_t memory_ras_precharge();
  [[nodiscard]] virtual std::uint64_t memory_cycle_time();
  [[nodiscard]] virtual std::uint64_t memory_bank_cycle_time();
  [[nodiscard]] virtual std::uint64_t memory_command_rate();
  [[nodiscard]] virtual std::vector<std::string> gpu_names();
  [[nodiscard]] virtual std::uint64_t gpu_core_count();
  [[nodiscard]] virtual std::string primary_mac_address();
  [[nodiscard]] virtual std::string machine_id();
  // 0 unknown, 1 off, 2 on.
  [[nodiscard]] virtual std::uint32_t battery_saver_state();
  [[nodiscard]] virtual float reserved_real();
  [[nodiscard]] virtual std::uint64_t reserved_count_b();
  [[nodiscard]] virtual std::uint64_t reserved_count_c();
  // 0 to 100, -1 unknown.
  [[nodiscard]] virtual std::int32_t battery_percent();
  [[nodiscard]] virtual BatteryState battery_state();
  [[nodiscard]] virtual std::string battery_chemistry();
  [[nodiscard]] virtual std::uint64_t reserved_count_d();
  [[nodiscard]] virtual std::uint32_t battery_voltage();
  [[nodiscard]] virtual std::int64_t battery_cycle_count();
  [[nodiscard]] virtual std::int64_t display_brightness();
  [[nodiscard]] virtual bool on_battery_power();
  [[nodiscard]] virtual bool has_battery();
  [[nodiscard]] virtual bool set_display_brightness(std::uint64_t percent);
  // Asks the system to keep itself and the display from idling (on) or withdraws that request
  // (off). The request belongs to the calling thread. True when the system took the request.
  [[nodiscard]] virtual bool keep_awake(bool on);
  [[nodiscard]] virtual bool reserved_flag();
  // True when the module "ibtpgo64.dll" is already loaded in this process; never loads it.
  [[nodiscard]] virtual bool ibtpgo_module_loaded();
  // The computer's name, or empty when it cannot be read.
  [[nodiscard]] virtual std::string computer_name();

  // The processor record the getters read.
  [[nodiscard]] const ProcessorRecord& processor_record() const { return processor_; }

 protected:
  ProcessorRecord processor_;

 private:
  [[nodiscard]] std::uint32_t cache_count(CacheLevel level) const;
};

// This program's model. Construction computes the processor record and the cluster table; every
// other answer is asked of the system each time.
class WindowsSystem : public BaseSystem {
 public:
  WindowsSystem();
  ~WindowsSystem() override;

  bool ready() override { return true; }
  std::uint32_t cluster_count() override;
  std::int32_t cluster_performance_level(std::uint32_t index) override;
  std::uint32_t cluster_cores(std::uint32_t index) override;
  std::uint32_t cluster_threads(std::uint32_t index) override;
  bool keep_awake(bool on) override;
  bool ibtpgo_module_loaded() override;

  // True when this process runs emulated on an ARM64 machine. Asked afresh on every call.
  [[nodiscard]] virtual bool is_arm64_host();
  [[nodiscard]] virtual std::string processor_codename();
  [[nodiscard]] virtual std::string processor_package();
  [[nodiscard]] virtual std::uint64_t reserved_count_e();
  [[nodiscard]] virtual std::uint64_t processor_stock_frequency();
  [[nodiscard]] virtual std::uint64_t bus_stock_frequency();
  [[nodiscard]] virtual float cpu_minimum_multiplier();
  [[nodiscard]] virtual float cpu_maximum_multiplier();
  [[nodiscard]] virtual std::string power_plan();
  // The frequency the report shows: processor_frequency(), through the virtual interface.
  [[nodiscard]] virtual std::uint64_t displayed_processor_frequency();
  [[nodiscard]] virtual std::string northbridge();
  [[nodiscard]] virtual std::string southbridge();
  // Run once a second by each update thread; does nothing here. Must be safe to run alongside
  // every other operation.
  virtual void periodic_update();
  // Starts one more thread that sleeps a second and calls periodic_update(), for ever, and
  // returns at once. The thread is never stopped, so the model must outlive the process.
  // Throws std::system_error when the thread cannot be created.
  virtual void start_periodic_updates();

  // The cluster table: efficiency classes in ascending order, and per class the counts of
  // distinct cores and logical processors. Filled once during construction.
  std::vector<std::int32_t> cluster_classes;
  std::unordered_map<std::int32_t, std::uint32_t> cluster_core_counts;
  std::unordered_map<std::int32_t, std::uint32_t> cluster_thread_counts;
};

// The shared model, constructed on the first call and never destroyed. If construction throws,
// nothing is stored and the next call tries again. Make the first call before other threads
// use the model.
[[nodiscard]] WindowsSystem* system_model();

// A new, unshared model constructed the same way; the caller owns it.
[[nodiscard]] WindowsSystem* new_system_model();

// The pointer behind system_model(), null until its first call.
[[nodiscard]] WindowsSystem*& shared_system_model();
