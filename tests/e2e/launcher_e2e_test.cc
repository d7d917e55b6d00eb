// Runs the real launcher against the reference workers placed beside a copy of it in a
// temporary folder, the way users run it: from other folders, through relative, bare and
// symlinked names, with signals, and with good, missing and broken resource archives.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/archive/archive_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMissingArchText = "The option --arch needs the name of a build.";
constexpr const char* kNoWorkerText = "There is no worker build \"$1\" beside the launcher.";
constexpr const char* kLaunchText = "The worker build \"$1\" could not be started.";

std::string escape_json(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string catalogue_json(const std::string& no_worker_text = kNoWorkerText) {
  return "{\"console_error_missing_arch_argument\": \"" + escape_json(kMissingArchText) +
         "\", \"error_console_arch\": \"" + escape_json(no_worker_text) +
         "\", \"error_console_launch\": \"" + escape_json(kLaunchText) + "\"}";
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// How many ERROR log lines `text` holds.
int error_lines(const std::string& text) {
  int count = 0;
  for (std::size_t at = text.find("ERROR:"); at != std::string::npos;
       at = text.find("ERROR:", at + 1)) {
    ++count;
  }
  return count;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool machine_has_avx2() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("flags", 0) == 0) return (line + " ").find(" avx2 ") != std::string::npos;
  }
  return false;
}

struct Outcome {
  int status = -1;  // exit status, or 128 + N when ended by signal N
  std::string out;
  std::string err;
};

// A folder holding a copy of the launcher, the workers and an archive, removed afterwards.
class LauncherTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    folder_ = fs::path(testing::TempDir()) /
              ("corvalith_e2e_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "bin");
    const fs::path built = CORVALITH_BIN_DIR;
    for (const char* program : {"corvalith", "corvalith_x86_64.exe", "corvalith_avx2.exe"}) {
      fs::copy_file(built / program, bin() / program);
    }
    write_archive(catalogue_json());
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path bin() const { return folder_ / "bin"; }
  fs::path launcher() const { return bin() / "corvalith"; }

  // Replaces the archive beside the launcher; without `catalogue` it has no "l10n/en.json".
  void write_archive(const std::optional<std::string>& catalogue) {
    base::ArchiveWriter writer;
    writer.add_file("readme.txt", "fixture");
    if (catalogue) writer.add_file("l10n/en.json", *catalogue);
    write_file(bin() / "corvalith.qvxr", writer.bytes());
  }

  // Runs `program` with `argv` (argv[0] included) in `cwd`. When `signal_number` is set, sends
  // it to the launcher alone once the worker has written its first line.
  Outcome execute(const fs::path& program, const std::vector<std::string>& argv,
                  const fs::path& cwd = {}, int signal_number = 0) {
    const fs::path out_path = folder_ / "stdout.txt";
    const fs::path err_path = folder_ / "stderr.txt";
    // Emptied before the start, so the wait below never sees an earlier run's output.
    write_file(out_path, "");
    write_file(err_path, "");
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
      const int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(120);
      if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(121);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(program.c_str(), args.data());
      _exit(122);
    }
    if (signal_number != 0) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (read_file(out_path).find('\n') == std::string::npos &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      kill(pid, signal_number);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Outcome result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
  }

  Outcome run_launcher(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {launcher().string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return execute(launcher(), argv);
  }

  // What a worker of `build` prints when started by the launcher with `argv0` and `arguments`.
  static std::string worker_output(const std::string& build, const std::string& argv0,
                                   const std::vector<std::string>& arguments) {
    std::string text = "corvalith worker build " + build + "\n--argv0\n" + argv0 + "\n";
    for (const std::string& arg : arguments) text += arg + "\n";
    return text;
  }

  fs::path folder_;
};

TEST_F(LauncherTest, NoArgumentsStartsTheDetectedBuildWithTwoArguments) {
  const Outcome run = run_launcher({});
  const std::string build = machine_has_avx2() ? "avx2" : "x86_64";
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, worker_output(build, launcher().string(), {}));
  EXPECT_EQ(run.err, "");
}

TEST_F(LauncherTest, ArchOptionIsConsumedAndTheRestPassesThrough) {
  struct Case {
    std::vector<std::string> arguments;
    std::string build;
    std::vector<std::string> passed;
  };
  const Case cases[] = {
      {{"--arch", "avx2", "--foo"}, "avx2", {"--foo"}},
      {{"--arch", "x86_64", "--arch", "avx2"}, "avx2", {}},
      {{"--arch", "avx2", "--arch", "x86_64", "x"}, "x86_64", {"x"}},
      {{"a", "--arch", "x86_64", "b"}, "x86_64", {"a", "b"}},
      // Other spellings are not the option and reach the worker.
      {{"--arch=avx2", "--ARCH", "x86_64", "--arch", "x86_64"},
       "x86_64",
       {"--arch=avx2", "--ARCH", "x86_64"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.size());
    if (c.build == "avx2" && !machine_has_avx2()) continue;
    const Outcome run = run_launcher(c.arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, worker_output(c.build, launcher().string(), c.passed));
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(LauncherTest, ArgumentsArriveIntact) {
  const std::vector<std::string> arguments = {
      "two words", "", "say \"hi\"", "back\\slash\\", "\\\"", "'single'", "  ", "tab\there", "é"};
  std::vector<std::string> with_arch = {"--arch", "x86_64"};
  with_arch.insert(with_arch.end(), arguments.begin(), arguments.end());
  const Outcome run = run_launcher(with_arch);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, worker_output("x86_64", launcher().string(), arguments));
}

TEST_F(LauncherTest, WorkerExitStatusBecomesTheLaunchersOwn) {
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--exit-code", "0"}, 0},
      {{"--exit-code", "3"}, 3},
      {{"--exit-code", "200"}, 200},
      {{"--raise-signal", "9"}, 128 + SIGKILL},
      {{"--raise-signal", "15"}, 128 + SIGTERM},
  };
  for (const auto& [arguments, status] : cases) {
    SCOPED_TRACE(status);
    std::vector<std::string> argv = {"--arch", "x86_64"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const Outcome run = run_launcher(argv);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(LauncherTest, MissingArchValue) {
  const Outcome run = run_launcher({"--foo", "--arch"});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, std::string(kMissingArchText) + "\n");  // standard output, no worker
  EXPECT_EQ(run.err, "");
}

TEST_F(LauncherTest, MissingWorkerNamesTheBuild) {
  const Outcome nosuch = run_launcher({"--arch", "nosuch", "--foo"});
  EXPECT_EQ(nosuch.status, 255);
  EXPECT_EQ(nosuch.out, "");
  EXPECT_EQ(nosuch.err, "There is no worker build \"nosuch\" beside the launcher.\n");

  // "--arch --arch": the value is the second "--arch", so corvalith_--arch.exe is looked for.
  const Outcome missing = run_launcher({"--arch", "--arch"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err, "There is no worker build \"--arch\" beside the launcher.\n");
  fs::copy_file(bin() / "corvalith_x86_64.exe", bin() / "corvalith_--arch.exe");
  const Outcome found = run_launcher({"--arch", "--arch", "x"});
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out, worker_output("x86_64", launcher().string(), {"x"}));
}

TEST_F(LauncherTest, WorkerThatCannotStart) {
  fs::permissions(bin() / "corvalith_x86_64.exe", fs::perms::owner_read | fs::perms::group_read);
  const Outcome run = run_launcher({"--arch", "x86_64"});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The worker build \"x86_64\" could not be started.\n"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("CreateProcess() failed"), std::string::npos) << run.err;
}

TEST_F(LauncherTest, WorkerIsFoundBesideTheResolvedLauncher) {
  const fs::path elsewhere = folder_ / "elsewhere";
  fs::create_directories(elsewhere);
  const fs::path link = elsewhere / "corvalith-link";
  fs::create_symlink(launcher(), link);
  struct Case {
    const char* name;
    fs::path program;
    std::string argv0;
    fs::path cwd;
  };
  const Case cases[] = {
      {"other current folder", launcher(), launcher().string(), "/"},
      {"relative argv[0]", launcher(), "bin/corvalith", folder_},
      {"bare argv[0]", launcher(), "corvalith", elsewhere},
      {"symlink", link, link.string(), elsewhere},
      {"bare symlink name", link, "corvalith-link", elsewhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = execute(c.program, {c.argv0, "--arch", "x86_64", "go"}, c.cwd);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, worker_output("x86_64", c.argv0, {"go"}));  // argv[0] passed verbatim
  }
}

TEST_F(LauncherTest, SignalsWhileTheWorkerRuns) {
  // Interrupt and quit sent to the launcher alone do not end it: the worker finishes its pause
  // and the launcher ends with its status.
  for (int signal_number : {SIGINT, SIGQUIT}) {
    SCOPED_TRACE(signal_number);
    const Outcome run = execute(
        launcher(), {"corvalith", "--arch", "x86_64", "--sleep-ms", "700", "--exit-code", "4"}, {},
        signal_number);
    EXPECT_EQ(run.status, 4);
  }
  // Termination and hang-up are passed on; the worker ends of them long before its pause does.
  for (int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    const auto start = std::chrono::steady_clock::now();
    const Outcome run = execute(
        launcher(), {"corvalith", "--arch", "x86_64", "--sleep-ms", "60000"}, {}, signal_number);
    EXPECT_EQ(run.status, 128 + signal_number);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(50));
  }
}

TEST_F(LauncherTest, MessagesAreWrappedAt78Columns) {
  // 200 characters of short words, no newline, naming the build at the end.
  std::string words;
  while (words.size() < 190) words += "word" + std::to_string(words.size() % 7) + " ";
  const std::string text = words + "build $1.";
  write_archive(catalogue_json(text));
  const Outcome run = run_launcher({"--arch", "nosuch"});
  EXPECT_EQ(run.status, 255);
  const std::vector<std::string> lines = lines_of(run.err);
  ASSERT_GE(lines.size(), 3u) << run.err;
  std::string joined;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), 78u) << line;
    joined += line;
  }
  EXPECT_EQ(joined, words + "build nosuch.");  // nothing lost; the spaces end the lines

  // A 100-character word opening the message stands on its own line after an empty one; the
  // space after it is where the line breaks, and is dropped.
  const std::string long_word(100, 'w');
  write_archive(catalogue_json(long_word + " then $1"));
  const Outcome long_run = run_launcher({"--arch", "nosuch"});
  EXPECT_EQ(long_run.err, "\n" + long_word + "\nthen nosuch\n");
}

TEST_F(LauncherTest, ShippedArchiveHoldsTheThreeMessages) {
  fs::copy_file(fs::path(CORVALITH_BIN_DIR) / "corvalith.qvxr", bin() / "corvalith.qvxr",
                fs::copy_options::overwrite_existing);
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--arch"}, "console_error_missing_arch_argument"},
      {{"--arch", "nosuch"}, "error_console_arch"},
  };
  for (const auto& [arguments, key] : cases) {
    SCOPED_TRACE(key);
    const Outcome run = run_launcher(arguments);
    EXPECT_EQ(run.status, 255);
    const std::string text = run.out + run.err;
    EXPECT_EQ(text.find(key), std::string::npos) << text;  // a text, not the bare key
    EXPECT_GT(text.size(), 20u);
    for (const std::string& line : lines_of(text)) EXPECT_LE(line.size(), 78u) << line;
  }
}

TEST_F(LauncherTest, BrokenResources) {
  // Without the catalogue the key itself is printed.
  write_archive(std::nullopt);
  const Outcome no_catalogue = run_launcher({"--arch", "nosuch"});
  EXPECT_EQ(no_catalogue.status, 255);
  EXPECT_EQ(no_catalogue.err, "error_console_arch\n");

  // A malformed catalogue is read only when a message is needed, and then ends the run with 255
  // after an ERROR line (not an abort).
  write_archive(std::string("{\"error_console_arch\": oops"));
  const Outcome fine = run_launcher({"--arch", "x86_64"});
  EXPECT_EQ(fine.status, 0);
  const Outcome malformed = run_launcher({"--arch", "nosuch"});
  EXPECT_EQ(malformed.status, 255);
  EXPECT_EQ(error_lines(malformed.err), 1) << malformed.err;
  EXPECT_NE(malformed.err.find("json"), std::string::npos) << malformed.err;
  EXPECT_EQ(malformed.out, "");

  write_archive(std::string("{\"error_console_arch\": 7}"));
  const Outcome wrong_type = run_launcher({"--arch", "nosuch"});
  EXPECT_EQ(wrong_type.status, 255);
  EXPECT_EQ(error_lines(wrong_type.err), 1) << wrong_type.err;

  // No archive at all, or one that is not an archive: nothing is started, and the archive is
  // opened before the arguments are looked at.
  for (bool present : {false, true}) {
    for (const char* last : {"x86_64", "--arch"}) {
      SCOPED_TRACE(std::string(present ? "corrupt " : "missing ") + last);
      fs::remove(bin() / "corvalith.qvxr");
      if (present) write_file(bin() / "corvalith.qvxr", "not an archive");
      const Outcome run = run_launcher({"--arch", last});
      EXPECT_EQ(run.status, 255);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(error_lines(run.err), 1) << run.err;  // the reader's line, not repeated
      EXPECT_EQ(run.err.find("worker build"), std::string::npos) << run.err;
    }
  }
}

}  // namespace
