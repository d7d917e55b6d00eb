// Starting another program with a list of arguments and waiting for it to end.
//
//   Process worker(path);
//   worker.add_argument("--argv0", argv[0]);
//   ProcessHandle handle;
//   if (launch_process(worker, &handle)) { wait_for_exit(&handle); use(handle.exit_code); }
//
// The child inherits the standard streams, other inheritable descriptors, the environment and
// the current directory. It receives exactly the argument list given, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Process {
  Process() = default;
  explicit Process(const std::string& program) : program(program) {}

  void add_argument(const std::string& value) { arguments.push_back(value); }
  void add_argument(const std::string& name, const std::string& value) {
    arguments.push_back(name);
    arguments.push_back(value);
  }

  std::string program;  // used as given, never searched on PATH
  std::vector<std::string> arguments;
};

struct ProcessHandle {
  std::int64_t process = 0;     // 0 until a launch succeeds
  std::uint32_t exit_code = 0;  // set by wait_for_exit; 128 + N for a child ended by signal N
};

// The command line as logged: the program and each argument in double quotes, separated by
// single spaces, nothing escaped.
[[nodiscard]] std::string process_command_line(const Process& process);

// Starts the program, stores its handle and returns true; on failure logs "CreateProcess()
// failed" at ERROR, leaves `handle` untouched and returns false.
[[nodiscard]] bool launch_process(const Process& process, ProcessHandle* handle);

// Waits without a time limit, stores the exit code in `handle`, and returns non-zero when the
// exit code could be read (the exit code keeps its value otherwise).
int wait_for_exit(ProcessHandle* handle);
