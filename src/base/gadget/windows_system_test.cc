#include "base/gadget/windows_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "base/gadget/bootstrap.h"
#include "base/platform/fake_system_for_testing.h"
#include "base/platform/system.h"

namespace {

using base::platform::FakeSystem;

// A model whose processor record a test fills in.
class ScriptedSystem : public WindowsSystem {
 public:
  ProcessorRecord& record() { return processor_; }
};

TEST(SystemModel, NewModelHasTheInitialRecordAndDefaults) {
  std::unique_ptr<WindowsSystem> model(new_system_model());
  const ProcessorRecord& record = model->processor_record();
  EXPECT_EQ(record.vendor, CpuVendor::kOther);
  EXPECT_EQ(static_cast<int>(CpuVendor::kOther), 5);
  EXPECT_EQ(model->processor_name(), "");
  EXPECT_EQ(model->processor_brand(), "");
  EXPECT_EQ(model->processor_id(), "");
  EXPECT_EQ(model->processor_frequency(), 0u);
  EXPECT_EQ(model->displayed_processor_frequency(), 0u);
  EXPECT_EQ(model->thread_count() + model->core_count() + model->package_count(), 0u);
  EXPECT_EQ(model->l1i_cache_size() + model->l1d_cache_size() + model->l2_cache_size() +
                model->l3_cache_size() + model->l4_cache_size(),
            0u);
  // No packages yet: every count is the safe 1, not a division by zero.
  EXPECT_EQ(model->l1i_cache_count(), 1u);
  EXPECT_EQ(model->l3_cache_count(), 1u);

  EXPECT_TRUE(model->ready());
  EXPECT_EQ(model->cluster_count(), 0u);  // the base's 1 never applies to this model
  EXPECT_EQ(model->cluster_description(0), "");
  EXPECT_EQ(model->processor_summary(), "");
  EXPECT_EQ(model->os_name() + model->os_release_id() + model->kernel() + model->model() +
                model->motherboard() + model->bios() + model->chassis_manufacturer() +
                model->memory_type() + model->primary_mac_address() + model->machine_id() +
                model->battery_chemistry() + model->power_plan() + model->processor_codename() +
                model->processor_package() + model->northbridge() + model->southbridge() +
                model->reserved_text_a() + model->reserved_text_b() + model->reserved_text_c() +
                model->reserved_text_d(),
            "");
  EXPECT_EQ(model->chassis_type(), 2u);
  EXPECT_EQ(model->numa_node_count(), 0u);
  EXPECT_EQ(model->memory_size(), 0u);
  EXPECT_TRUE(model->gpu_names().empty());
  EXPECT_EQ(model->battery_percent(), -1);
  EXPECT_EQ(model->battery_state(), BatteryState::kUnknown);
  EXPECT_EQ(model->battery_cycle_count(), -1);
  EXPECT_EQ(model->display_brightness(), -1);
  EXPECT_EQ(model->reserved_real(), -1.0f);
  EXPECT_EQ(model->battery_saver_state(), 0u);
  EXPECT_EQ(model->battery_voltage(), 0u);
  EXPECT_FALSE(model->has_battery());
  EXPECT_FALSE(model->on_battery_power());
  EXPECT_FALSE(model->set_display_brightness(50));
  EXPECT_FALSE(model->reserved_flag());
  EXPECT_EQ(model->cpu_minimum_multiplier(), 0.0f);
  EXPECT_EQ(model->cpu_maximum_multiplier(), 0.0f);
  EXPECT_EQ(model->processor_stock_frequency() + model->bus_stock_frequency() +
                model->bus_frequency() + model->reserved_count_a() + model->reserved_count_e() +
                model->memory_clock_frequency() + model->gpu_core_count() +
                model->reserved_cluster_value_a(0) + model->cluster_maximum_frequency(0),
            0u);
}

TEST(SystemModel, BuildFacts) {
  std::unique_ptr<WindowsSystem> model(new_system_model());
  EXPECT_EQ(model->platform(), "Linux x86 (64-bit)");
#if defined(__clang__)
  EXPECT_EQ(model->compiler_name(), "Clang");
  EXPECT_EQ(model->compiler(), __VERSION__);
  EXPECT_NE(model->compiler().find(std::to_string(__clang_major__) + "."), std::string::npos);
#else
  EXPECT_EQ(model->compiler_name(), "GCC");
  EXPECT_EQ(model->compiler(), "GCC " + std::to_string(__GNUC__) + "." +
                                   std::to_string(__GNUC_MINOR__) + "." +
                                   std::to_string(__GNUC_PATCHLEVEL__));
#endif
}

TEST(SystemModel, CacheCountsPerPackage) {
  struct Case {
    const char* name;
    std::uint32_t threads, packages, sharing;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"two threads per core cache", 16, 1, 2, 8},
      {"shared by the whole package", 16, 1, 16, 1},
      {"sharing unknown: threads per package", 16, 1, 0, 1},
      {"sharing wider than a package", 8, 2, 16, 1},
      {"two packages", 32, 2, 2, 8},
      {"fewer threads than packages", 1, 2, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSystem model;
    model.record().counts = {c.threads, c.threads, c.packages};
    model.record().cache_sharing[static_cast<int>(CacheLevel::kL2)] = c.sharing;
    EXPECT_EQ(model.l2_cache_count(), c.expected);
  }
  ScriptedSystem model;
  model.record().counts = {32, 16, 2};
  EXPECT_EQ(model.processor_record().sharing(CacheLevel::kL3), 16u);
  model.record().cache_sharing[static_cast<int>(CacheLevel::kL3)] = 4;
  EXPECT_EQ(model.processor_record().sharing(CacheLevel::kL3), 4u);
}

TEST(SystemModel, ClusterTable) {
  ScriptedSystem model;
  model.cluster_classes = {0, 1};
  model.cluster_core_counts = {{0, 8}, {1, 6}};
  model.cluster_thread_counts = {{0, 8}, {1, 12}};
  EXPECT_EQ(model.cluster_count(), 2u);
  EXPECT_EQ(model.cluster_performance_level(1), 1);
  EXPECT_EQ(model.cluster_cores(0), 8u);
  EXPECT_EQ(model.cluster_threads(1), 12u);
  EXPECT_EQ(model.cluster_cores(2), 0u);  // beyond the table: no answer, no crash
  EXPECT_EQ(model.cluster_description(2), "");
}

TEST(SystemModel, DisplayedFrequencyFollowsTheVirtualFrequency) {
  class Clocked : public ScriptedSystem {
   public:
    std::uint64_t processor_frequency() override { return 3'200'000'000u; }
  };
  Clocked clocked;
  EXPECT_EQ(clocked.displayed_processor_frequency(), 3'200'000'000u);
  ScriptedSystem recorded;
  recorded.record().frequency = 2'000'000'000u;
  EXPECT_EQ(recorded.displayed_processor_frequency(), 2'000'000'000u);
}

TEST(SystemModel, KeepAwakeRequests) {
  FakeSystem system;
  std::unique_ptr<WindowsSystem> model(new_system_model());
  EXPECT_TRUE(model->keep_awake(true));
  EXPECT_TRUE(model->keep_awake(false));
  EXPECT_EQ(system.execution_requests, (std::vector<std::uint32_t>{0x80000003u, 0x80000000u}));
  system.previous_execution_state = 0;  // the request was refused
  EXPECT_FALSE(model->keep_awake(true));
  BaseSystem& base = *model;
  EXPECT_FALSE(base.BaseSystem::keep_awake(true));
}

TEST(SystemModel, ModulesAndComputerName) {
  {
    FakeSystem system;
    std::unique_ptr<WindowsSystem> model(new_system_model());
    EXPECT_FALSE(model->ibtpgo_module_loaded());
    system.modules.insert("ibtpgo64.dll");
    EXPECT_TRUE(model->ibtpgo_module_loaded());

    const std::pair<std::optional<std::string>, std::string> names[] = {
        {"build-7", "build-7"},
        {std::nullopt, ""},
        {std::string(255, 'n'), std::string(255, 'n')},  // fills the buffer with its NUL
        {std::string(256, 'n'), ""},                     // does not fit
    };
    for (const auto& [name, expected] : names) {
      SCOPED_TRACE(expected.size());
      system.name = name;
      EXPECT_EQ(model->computer_name(), expected);
    }
  }
  // The real system: this test is not linked with such a module, but it is with the C library.
  auto& real = base::platform::System::linux_backend();
  EXPECT_FALSE(real.module_loaded("ibtpgo64.dll"));
  EXPECT_TRUE(real.module_loaded("libc.so.6"));
  EXPECT_FALSE(real.module_loaded("libc.so"));
  std::ifstream hostname("/proc/sys/kernel/hostname");
  std::string expected;
  if (std::getline(hostname, expected)) {
    std::unique_ptr<WindowsSystem> model(new_system_model());
    EXPECT_EQ(model->computer_name(), expected);
  }
}

TEST(SystemModel, SharedInstance) {
  WindowsSystem* shared = system_model();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(system_model(), shared);
  EXPECT_EQ(shared_system_model(), shared);
  std::unique_ptr<WindowsSystem> own(new_system_model());
  EXPECT_NE(own.get(), shared);
}

TEST(SystemModel, EachStartRunsOneMoreUpdateThread) {
  class Counting : public WindowsSystem {
   public:
    void periodic_update() override {
      std::lock_guard<std::mutex> lock(mutex);
      threads.insert(std::this_thread::get_id());
      ++calls;
    }
    std::mutex mutex;
    std::set<std::thread::id> threads;
    int calls = 0;
  };
  // The update threads run for ever, so the model lives for the rest of the process.
  static Counting* const model = new Counting;
  model->start_periodic_updates();
  model->start_periodic_updates();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::size_t seen = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(model->mutex);
      seen = model->threads.size();
    }
    if (seen >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(seen, 2u);
  EXPECT_EQ(model->threads.count(std::this_thread::get_id()), 0u);
}

TEST(Bootstrap, ThreadCountIsNeverZero) {
  FakeSystem system;
  for (std::uint32_t processors : {0u, 1u, 12u}) {
    SCOPED_TRACE(processors);
    system.processors = processors;
    EXPECT_EQ(bootstrap_thread_count(), processors == 0 ? 1u : processors);
  }
}

TEST(Bootstrap, ThreadCountOnThisMachine) {
  EXPECT_EQ(bootstrap_thread_count(), std::thread::hardware_concurrency());
}

}  // namespace
