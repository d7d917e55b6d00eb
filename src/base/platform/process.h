// Platform area: starting a program and waiting for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace base::platform {

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;

  // Starts `program` (used as given, never searched on PATH) with exactly `argv` as its argument
  // vector (argv[0] included). The child inherits the standard streams, every inheritable
  // descriptor, the environment and the current directory. On success stores an opaque handle
  // (the process id on Linux) and returns true; on failure returns false and leaves `handle`.
  [[nodiscard]] virtual bool spawn(const std::string& program, const std::vector<std::string>& argv,
                                   std::int64_t* handle) = 0;
  // Waits without a time limit for the process to end and stores its exit status: the exit code,
  // or 128 + N for a process ended by signal N. Survives interruption by signals. False when the
  // handle is not a child that can be waited for; `exit_code` is then left unchanged.
  [[nodiscard]] virtual bool wait(std::int64_t handle, std::uint32_t* exit_code) = 0;

  // posix_spawn and waitpid.
  static ProcessApi& linux_backend();
};

}  // namespace base::platform
