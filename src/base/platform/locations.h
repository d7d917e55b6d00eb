// Platform area: well-known locations, the environment and file status.
#pragma once

#include <optional>
#include <string>

namespace base::platform {

class Locations {
 public:
  virtual ~Locations() = default;

  // Full path of the running executable with symlinks resolved; empty when unknown.
  [[nodiscard]] virtual std::string executable_path() = 0;
  // The user's home folder; empty when unknown.
  [[nodiscard]] virtual std::string user_profile() = 0;
  // The temporary-files folder, ending in a separator; empty when unknown.
  [[nodiscard]] virtual std::string temp_folder() = 0;
  // The value of an environment variable, or nullopt when it is not set.
  [[nodiscard]] virtual std::optional<std::string> environment(const std::string& name) = 0;
  // True when the path names an existing file or folder (a status query succeeds).
  [[nodiscard]] virtual bool file_exists(const std::string& path) = 0;
  // Creates one folder; false when it could not be created.
  [[nodiscard]] virtual bool make_directory(const std::string& path) = 0;

  // /proc/self/exe, $HOME, $TMPDIR or /tmp/, getenv, stat, mkdir.
  static Locations& linux_backend();
};

}  // namespace base::platform
