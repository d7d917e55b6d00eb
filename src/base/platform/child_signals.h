// Platform area: how a program that starts a child and waits for it treats signals meanwhile.
//
// A launcher should be invisible: an interrupt or quit typed at the terminal reaches the child
// (it shares the terminal's process group) and the child decides what to do, so the launcher must
// not die of it first; a termination or hang-up request sent to the launcher alone is passed on
// to the child. The launcher then ends with the child's status.
#pragma once

#include <cstdint>

namespace base::platform {

class ChildSignals {
 public:
  virtual ~ChildSignals() = default;

  // From now on interrupt and quit requests no longer end this process, and termination and
  // hang-up requests are kept for the child. Call before starting the child; the child starts
  // with the default handling of all of them.
  virtual void shield_for_child() = 0;
  // The started child (its process handle) that termination and hang-up requests go to. A
  // request that arrived since shield_for_child() is passed on now.
  virtual void forward_to(std::int64_t handle) = 0;

  // sigaction handlers for SIGINT, SIGQUIT (nothing), SIGTERM and SIGHUP (kill the child).
  static ChildSignals& linux_backend();
};

}  // namespace base::platform
