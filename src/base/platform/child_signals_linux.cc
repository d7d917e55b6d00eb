#include "base/platform/child_signals.h"

#include <signal.h>
#include <sys/types.h>

#include <cstring>

namespace base::platform {
namespace {

// Written by the handlers and by forward_to; the launcher is single-threaded, so a handler runs
// either wholly before or wholly after forward_to stores the child.
volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_pending = 0;

void pass_on(int signal_number) {
  if (g_child > 0) {
    kill(static_cast<pid_t>(g_child), signal_number);
  } else {
    g_pending = signal_number;
  }
}

// A handler rather than SIG_IGN: a caught signal reverts to its default in the child when it
// starts, an ignored one would stay ignored there.
void leave_to_child(int) {}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

class LinuxChildSignals final : public ChildSignals {
 public:
  void shield_for_child() override {
    install(SIGINT, leave_to_child);
    install(SIGQUIT, leave_to_child);
    install(SIGTERM, pass_on);
    install(SIGHUP, pass_on);
  }

  void forward_to(std::int64_t handle) override {
    g_child = static_cast<sig_atomic_t>(handle);
    if (g_pending != 0) kill(static_cast<pid_t>(handle), g_pending);
  }
};

}  // namespace

ChildSignals& ChildSignals::linux_backend() {
  static LinuxChildSignals signals;
  return signals;
}

}  // namespace base::platform
