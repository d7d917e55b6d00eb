// The reference worker: prints a line naming its build, then each argument it received on a
// line of its own, and ends. Options it acts on (they are printed like every other argument):
//   --exit-code N      end with exit status N (0 to 255)
//   --sleep-ms N       pause N milliseconds (0 to 100000) before ending (for launcher tests)
//   --raise-signal N   end by raising signal N with its default action (for launcher tests)
// The launcher passes "--argv0" and its own first argument before the user's arguments.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef CORVALITH_WORKER_BUILD
#error CORVALITH_WORKER_BUILD names the build
#endif

namespace {

// The number after the last occurrence of an option, or -1 when it is missing or not a number in
// [0, limit].
int option_value(int argc, char** argv, const char* name, long limit = 255) {
  int value = -1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    char* end = nullptr;
    const long parsed = std::strtol(argv[i + 1], &end, 10);
    value = (end != argv[i + 1] && *end == '\0' && parsed >= 0 && parsed <= limit)
                ? static_cast<int>(parsed)
                : -1;
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("corvalith worker build %s\n", CORVALITH_WORKER_BUILD);
  for (int i = 1; i < argc; ++i) std::printf("%s\n", argv[i]);
  std::fflush(stdout);

  if (const int ms = option_value(argc, argv, "--sleep-ms", 100000); ms > 0) {
    timespec pause_for{ms / 1000, (ms % 1000) * 1'000'000L};
    while (nanosleep(&pause_for, &pause_for) != 0) {
    }
  }
  if (const int signal_number = option_value(argc, argv, "--raise-signal"); signal_number > 0) {
    signal(signal_number, SIG_DFL);
    kill(getpid(), signal_number);
    pause();  // a signal whose default is to stop or be ignored: wait for the next
  }
  const int exit_code = option_value(argc, argv, "--exit-code");
  return exit_code < 0 ? 0 : exit_code;
}
