// The launcher: opens the resource archive, picks the worker build ("--arch NAME" or detection),
// starts corvalith_NAME.exe from its own folder with the other arguments, waits for it and ends
// with its exit status. It prints only its own three failure messages, from the catalogue.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "base/asset_manager.h"
#include "base/gadget/architecture.h"
#include "base/logging.h"
#include "base/message_catalogue.h"
#include "base/path.h"
#include "base/platform/child_signals.h"
#include "base/platform/platform.h"
#include "base/process.h"
#include "interface/console/console_writer.h"

namespace {

// A failure whose ERROR line has already been written where it was raised.
struct LoggedFailure {};

// The catalogue text for `key` with $1 = `argument`, wrapped and written to `stream`.
void print_message(std::FILE* stream, const char* key, const std::string& argument) {
  const std::string text = base::MessageCatalogue::instance().format(key, argument, "", "", "");
  ConsoleWriter(stream).stream() << text << '\n';
}

int run(int argc, char** argv) {
  base::set_min_severity(base::kLogError);
  try {
    base::AssetManager::instance().load_archive("corvalith.qvxr");
  } catch (const std::runtime_error&) {
    throw LoggedFailure{};  // the archive reader logs every failure it raises
  }

  Process process;
  process.add_argument("--argv0", argc > 0 && argv[0] != nullptr ? argv[0] : "");
  const char* architecture_override = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--arch") != 0) {
      process.add_argument(argv[i]);
      continue;
    }
    if (i == argc - 1) {
      print_message(stdout, "console_error_missing_arch_argument", "");
      std::exit(-1);
    }
    architecture_override = argv[++i];  // whatever it is; the last one wins
  }

  const std::string name = architecture_override != nullptr
                               ? std::string(architecture_override)
                               : architecture_name(detect_architecture());
  const std::string worker =
      path::join(well_known_path(kPathExecutableFolder), "corvalith_" + name + ".exe");
  if (!path::exists(worker)) {
    print_message(stderr, "error_console_arch", name);
    return -1;
  }

  process.program = worker;
  auto& signals = base::platform::get<base::platform::ChildSignals>();
  signals.shield_for_child();
  ProcessHandle handle;
  if (!launch_process(process, &handle)) {
    print_message(stderr, "error_console_launch", name);
    return -1;
  }
  signals.forward_to(handle.process);
  (void)wait_for_exit(&handle);
  return static_cast<int>(handle.exit_code);
}

}  // namespace

int main(int argc, char** argv) {
  // A failure that escapes (missing or corrupt archive, malformed catalogue) ends the run with
  // status 255 after an ERROR line, never with an abort and a core dump.
  try {
    return run(argc, argv);
  } catch (const LoggedFailure&) {
    return 255;
  } catch (const base::CheckException&) {
    return 255;  // logged when it was raised
  } catch (const std::exception& error) {
    // Not known to be logged (the catalogue's JSON errors are not): say what stopped the run.
    LOG(ERROR) << error.what();
    return 255;
  } catch (...) {
    LOG(ERROR) << "Unknown failure";
    return 255;
  }
}
