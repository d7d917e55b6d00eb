/* The floor for the launcher's cost: the least a program can do to start another and wait for
 * it (posix_spawn + waitpid), statically linked so that it loads no shared library.
 *   spawn_floor PROGRAM [ARGUMENT...]              ends with PROGRAM's exit status
 *   spawn_floor --peak-rss PROGRAM [ARGUMENT...]   also prints "peak_rss_kib N" on standard
 *       error: the peak resident memory of PROGRAM or of any child it waited for. (Measured from
 *       here because a large parent's memory would count towards the child's peak until exec.) */
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
  int first = 1;
  int report = 0;
  if (argc > 1 && strcmp(argv[1], "--peak-rss") == 0) {
    report = 1;
    first = 2;
  }
  if (argc <= first) {
    fputs("usage: spawn_floor [--peak-rss] PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  pid_t pid;
  if (posix_spawn(&pid, argv[first], NULL, NULL, argv + first, environ) != 0) return 127;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) return 127;
  if (report) fprintf(stderr, "peak_rss_kib %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
