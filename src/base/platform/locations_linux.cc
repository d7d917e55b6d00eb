#include "base/platform/locations.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace base::platform {
namespace {

class LinuxLocations final : public Locations {
 public:
  std::string executable_path() override {
    char* resolved = realpath("/proc/self/exe", nullptr);
    if (resolved == nullptr) return {};
    std::string path(resolved);
    free(resolved);
    return path;
  }

  std::string user_profile() override {
    if (const char* home = getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
      return found->pw_dir;
    }
    return {};
  }

  std::string temp_folder() override {
    std::string folder = "/tmp";
    if (const char* tmp = getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') folder = tmp;
    if (folder.back() != '/') folder += '/';
    return folder;
  }

  std::optional<std::string> environment(const std::string& name) override {
    const char* value = getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  bool file_exists(const std::string& path) override {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }

  bool make_directory(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }
};

}  // namespace

Locations& Locations::linux_backend() {
  static LinuxLocations locations;
  return locations;
}

}  // namespace base::platform
