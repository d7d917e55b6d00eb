#include "base/platform/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace base::platform {
namespace {

class LinuxProcess final : public ProcessApi {
 public:
  bool spawn(const std::string& program, const std::vector<std::string>& argv,
             std::int64_t* handle) override {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    // posix_spawn, not posix_spawnp: the program path is never looked up on PATH.
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0) {
      return false;
    }
    *handle = pid;
    return true;
  }

  bool wait(std::int64_t handle, std::uint32_t* exit_code) override {
    int status = 0;
    pid_t result;
    do {
      result = waitpid(static_cast<pid_t>(handle), &status, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return false;
    if (WIFEXITED(status)) {
      *exit_code = static_cast<std::uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
      *exit_code = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    return true;
  }
};

}  // namespace

ProcessApi& ProcessApi::linux_backend() {
  static LinuxProcess process;
  return process;
}

}  // namespace base::platform
