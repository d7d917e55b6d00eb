// Feeds arbitrary bytes to the JSON reader and, as an archived "l10n/en.json", to the message
// catalogue: every value is read with every typed accessor and every text is formatted. Wrong
// types and malformed documents must end in runtime errors, nothing else.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"
#include "base/json.h"
#include "base/logging.h"
#include "base/message_catalogue.h"

namespace {

void touch(const base::JsonValue& value, int depth) {
  const std::function<void()> reads[] = {
      [&] { (void)value.as_string(); }, [&] { (void)value.as_bool(); },
      [&] { (void)value.as_int64(); },  [&] { (void)value.as_uint64(); },
      [&] { (void)value.as_double(); }, [&] { (void)value.as_float(); },
      [&] { (void)value.size(); },
  };
  for (const auto& read : reads) {
    try {
      read();
    } catch (const std::runtime_error&) {
    }
  }
  if (depth > 64) return;
  if (value.type() == base::kJsonObject) {
    for (const std::string& key : value.keys()) touch(value.get(key), depth + 1);
  } else if (value.type() == base::kJsonArray) {
    for (size_t i = 0; i < value.size(); ++i) touch(value.at(i), depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  base::set_min_severity(base::kLogFatal + 1);  // failures are expected; keep the output quiet
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    const base::JsonValue document = base::JsonValue::parse(bytes);
    touch(document, 0);
    (void)document.dump();
  } catch (const std::runtime_error&) {
  }

  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  base::ArchiveWriter writer;
  writer.add_file("l10n/en.json", bytes);
  assets.load_archive("fuzz.qvxr", std::make_unique<base::MemoryArchiveIO>(writer.bytes()));
  base::MessageCatalogue catalogue;
  try {
    catalogue.load("l10n/en.json");
  } catch (const std::runtime_error&) {
    // Members before a bad one stay; format what is there.
  }
  try {
    for (const std::string& key : base::JsonValue::parse(bytes).keys()) {
      (void)catalogue.format(key, "one", "$2", "", "four");
      (void)catalogue.format_wide(key, L"one", L"", L"$$", L"");
    }
  } catch (const std::runtime_error&) {
  }
  assets.clear();
  return 0;
}
