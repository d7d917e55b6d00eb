// Platform area: facts about the running system that the system model asks for directly (the
// host machine, the computer name, loaded modules, the idle state, the processor count).
#pragma once

#include <cstdint>
#include <string>

namespace base::platform {

// Machine codes as the host-machine query reports them.
inline constexpr std::uint16_t kMachineUnknown = 0;
inline constexpr std::uint16_t kMachineX86 = 0x014C;
inline constexpr std::uint16_t kMachineX86_64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

// Idle-state request flags: keep the request until changed, keep the system, keep the display.
inline constexpr std::uint32_t kExecutionContinuous = 0x80000000u;
inline constexpr std::uint32_t kExecutionSystemRequired = 0x00000001u;
inline constexpr std::uint32_t kExecutionDisplayRequired = 0x00000002u;

class System {
 public:
  virtual ~System() = default;

  // Whether the host-machine query exists on this system at all; when false, callers take the
  // host to be the machine the program was built for.
  [[nodiscard]] virtual bool host_machine_query_available() = 0;
  // Stores the machine code of this process and of the native (host) machine; false when the
  // query fails or is not available, with both outputs unchanged. The process machine is
  // kMachineUnknown for a process that is not run under a compatibility layer.
  [[nodiscard]] virtual bool query_host_machines(std::uint16_t* process_machine,
                                                 std::uint16_t* native_machine) = 0;

  // Writes the computer's name, NUL-terminated, into `buffer` of `size` bytes; false when it
  // cannot be read or does not fit (the buffer's contents are then unspecified).
  [[nodiscard]] virtual bool computer_name(char* buffer, std::uint32_t size) = 0;

  // True when a module (shared library) whose file name is exactly `name` is already loaded in
  // this process. Never loads anything.
  [[nodiscard]] virtual bool module_loaded(const std::string& name) = 0;

  // Sets the calling thread's idle-state request to `flags` (kExecution* bits) and returns the
  // previous request, or 0 when the request could not be made (also where the system offers no
  // such request).
  [[nodiscard]] virtual std::uint32_t set_thread_execution_state(std::uint32_t flags) = 0;

  // Logical processors available to the system; 0 when unknown.
  [[nodiscard]] virtual std::uint32_t active_processor_count() = 0;

  // uname, gethostname, the dynamic loader's list of loaded objects, sysconf. Linux has no
  // per-thread idle-state request without a session bus, so set_thread_execution_state answers 0.
  static System& linux_backend();
};

}  // namespace base::platform
