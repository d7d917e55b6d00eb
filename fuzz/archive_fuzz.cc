// Opens arbitrary bytes as a resource archive through an in-memory I/O, walks it, looks every
// path up, reads every file whole and in part, registers it with the asset manager and loads
// every asset; an archived catalogue is parsed too. Every failure must be a clean exception.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/archive/archive.h"
#include "base/asset_manager.h"
#include "base/logging.h"
#include "base/message_catalogue.h"

namespace {

void walk_and_read(const std::string& bytes) {
  base::Archive archive("fuzz.qvxr", std::make_unique<base::MemoryArchiveIO>(bytes));
  std::vector<char> buffer;
  archive.walk([&](base::Archive*, base::ArchiveFile* file, base::ArchivePath& path) {
    (void)archive.lookup(base::ArchivePath::join("/", path));
    (void)base::ArchivePath::extension(path);
    (void)base::ArchivePath::stem(path);
    buffer.resize(static_cast<size_t>(file->length()) + 8);
    file->read(buffer.data());
    try {
      file->read(buffer.data(), 8, static_cast<uint64_t>(file->length()) / 2);
    } catch (const std::runtime_error&) {
      // Ranges may run off the archive; the archive then stays failed.
    }
  });
}

void register_and_load(const std::string& bytes) {
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive("fuzz.qvxr", std::make_unique<base::MemoryArchiveIO>(bytes));
  for (const std::string& path : assets.paths()) (void)assets.load(path)->c_str();
  if (assets.exists("l10n/en.json")) {
    base::MessageCatalogue catalogue;
    catalogue.load("l10n/en.json");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  base::set_min_severity(base::kLogFatal + 1);  // failures are expected; keep the output quiet
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (auto step : {walk_and_read, register_and_load}) {
    try {
      step(bytes);
    } catch (const std::runtime_error&) {
      // Damaged archives end in runtime errors; anything else is a finding.
    }
  }
  base::AssetManager::instance().clear();
  return 0;
}
