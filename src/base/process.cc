#include "base/process.h"

#include "base/logging.h"
#include "base/platform/platform.h"
#include "base/platform/process.h"

std::string process_command_line(const Process& process) {
  std::string line;
  line.reserve(process.program.size() + 2 + process.arguments.size() * 8);
  line += '"';
  line += process.program;
  line += '"';
  for (const std::string& argument : process.arguments) {
    line += " \"";
    line += argument;
    line += '"';
  }
  return line;
}

bool launch_process(const Process& process, ProcessHandle* handle) {
  LOG(INFO) << process_command_line(process);
  // The child gets the argument list itself rather than a line to re-split, so arguments
  // holding quotes or backslashes arrive intact.
  std::vector<std::string> argv;
  argv.reserve(process.arguments.size() + 1);
  argv.push_back(process.program);
  argv.insert(argv.end(), process.arguments.begin(), process.arguments.end());
  std::int64_t child = 0;
  if (!base::platform::get<base::platform::ProcessApi>().spawn(process.program, argv, &child)) {
    LOG(ERROR) << "CreateProcess() failed";
    return false;
  }
  handle->process = child;
  return true;
}

int wait_for_exit(ProcessHandle* handle) {
  return base::platform::get<base::platform::ProcessApi>().wait(handle->process, &handle->exit_code)
             ? 1
             : 0;
}
