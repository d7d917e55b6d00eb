#include "base/platform/locations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace base::platform {
namespace {

class LinuxLocations final : public Locations {
 public:
  std::string executable_path() override {
    // The kernel's link already names the file itself, symlinks resolved; reading it is one
    // call where resolving the path again would take one per component.
    std::string path(256, '\0');
    while (true) {
      const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
      if (n < 0) return {};
      if (static_cast<std::size_t>(n) < path.size()) {
        path.resize(static_cast<std::size_t>(n));
        return path;
      }
      path.resize(path.size() * 2);
    }
  }

  std::string user_profile() override {
    // $HOME only: the password database would pull the name-service libraries into the
    // statically linked launcher.
    if (const char* home = getenv("HOME"); home != nullptr && *home != '\0') return home;
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
