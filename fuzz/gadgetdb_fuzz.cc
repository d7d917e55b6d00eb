// Serves arbitrary bytes as gadget/gadget.db through the "archive" file system and runs every
// lookup on them. A damaged database must end in the lookups' runtime errors or in no match:
// never a crash, a hang or a write.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/archive/archive_io.h"
#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"
#include "base/gadget/android_model.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db.h"
#include "base/gadget/ios_model.h"
#include "base/gadget/mac_model.h"
#include "base/logging.h"

namespace {

template <class Lookup>
void run(Lookup lookup) {
  try {
    std::shared_ptr<gadget::Model> model = lookup();
    if (model) {
      for (const auto& member : model->models_in_family()) (void)member->name();
    }
  } catch (const std::runtime_error&) {
    // A database the engine cannot use fails the lookup cleanly.
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  base::set_min_severity(base::kLogFatal + 1);  // failures are expected; keep the output quiet
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  base::ArchiveWriter writer;
  writer.add_file("gadget/gadget.db", std::string(reinterpret_cast<const char*>(data), size));
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive("fuzz.qvxr", std::make_unique<base::MemoryArchiveIO>(writer.bytes()));

  sqlite3* db = gadget::internal::open_archive_database("gadget/gadget.db");
  gadget::internal::set_gadget_db_override(db);
  run([] { return CPUModel::from_id(1); });
  run([] { return CPUModel::from_brand("AMD Ryzen 7 1700 Eight-Core Processor"); });
  run([] { return MacModel::from_id(1); });
  run([] { return MacModel::from_model_id("MacBookPro16,1"); });
  run([] {
    return MacModel::from_model_id_and_brand("MacBookPro16,1",
                                             " Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz ");
  });
  run([] { return AndroidModel::from_id(1); });
  run([] { return AndroidModel::from_model_and_motherboard("SM-S911U", "unknown"); });
  run([] { return iOSModel::from_id(1); });
  run([] { return iOSModel::from_model_id("iPhone14,2"); });
  gadget::internal::clear_gadget_db_override();
  sqlite3_close(db);
  assets.clear();
  return 0;
}
