#include "base/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/logging.h"
#include "base/platform/fake_platform_for_testing.h"

namespace {

// Runs /bin/sh with a script; the script's arguments follow "sh".
Process shell(const std::string& script) {
  Process p("/bin/sh");
  p.add_argument("-c", script);
  p.add_argument("sh");
  return p;
}

std::uint32_t run(const Process& p) {
  ProcessHandle handle;
  EXPECT_TRUE(launch_process(p, &handle));
  EXPECT_NE(wait_for_exit(&handle), 0);
  return handle.exit_code;
}

TEST(ProcessTest, CommandLineQuotesWithoutEscaping) {
  Process p("C:\\suite\\w.exe");
  p.add_argument("--argv0", "corvalith");
  p.add_argument("");
  p.add_argument("a \"b\" c\\");
  EXPECT_EQ(process_command_line(p),
            "\"C:\\suite\\w.exe\" \"--argv0\" \"corvalith\" \"\" \"a \"b\" c\\\"");
}

TEST(ProcessTest, LaunchLogsTheLineAndPassesTheArgumentList) {
  base::platform::FakeProcess fake;
  fake.exit_code = 4294967295u;
  Process p("/w");
  p.add_argument("x y");
  ProcessHandle handle;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(launch_process(p, &handle));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(":INFO:process.cc("), std::string::npos);
  ASSERT_EQ(fake.spawned.size(), 1u);
  EXPECT_EQ(fake.spawned[0].program, "/w");
  EXPECT_EQ(fake.spawned[0].argv, (std::vector<std::string>{"/w", "x y"}));
  EXPECT_EQ(wait_for_exit(&handle), 1);
  EXPECT_EQ(handle.exit_code, 4294967295u);  // kept as the 32-bit unsigned value
  fake.exit_code.reset();
  handle.exit_code = 0;
  EXPECT_EQ(wait_for_exit(&handle), 0);
  EXPECT_EQ(handle.exit_code, 0u);  // a failed query keeps the previous value
}

TEST(ProcessTest, ArgumentsArriveIntact) {
  const std::string out = testing::TempDir() + "corvalith_process_args.txt";
  Process p = shell("for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + out + "'");
  p.add_argument("with space");
  p.add_argument("");
  p.add_argument("quote\"inside");
  p.add_argument("back\\slash\\");
  p.add_argument("\"\\\"");
  EXPECT_EQ(run(p), 0u);
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "[with space]\n[]\n[quote\"inside]\n[back\\slash\\]\n[\"\\\"]\n");
  std::filesystem::remove(out);
}

TEST(ProcessTest, ExitCodesAndSignals) {
  struct Case {
    const char* script;
    std::uint32_t code;
  } cases[] = {
      {"exit 0", 0},
      {"exit 3", 3},
      {"exit 200", 200},
      {"kill -TERM $$", 128 + SIGTERM},
      {"kill -KILL $$", 128 + SIGKILL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(run(shell(c.script)), c.code);
  }
}

TEST(ProcessTest, MissingProgramFailsWithOneErrorLine) {
  base::set_min_severity(base::kLogError);
  Process p("/nonexistent/corvalith_nosuch.exe");
  ProcessHandle handle;
  handle.process = 77;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launch_process(p, &handle));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(handle.process, 77);
  EXPECT_NE(err.find(":ERROR:process.cc("), std::string::npos) << err;
  EXPECT_NE(err.find(")] CreateProcess() failed\r\n"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1);
  base::set_min_severity(base::kLogInfo);
}

TEST(ProcessTest, NotSearchedOnPath) {
  base::set_min_severity(base::kLogFatal + 1);
  Process p("sh");  // a bare name is a path relative to the current folder, not a PATH lookup
  ProcessHandle handle;
  EXPECT_FALSE(launch_process(p, &handle));
  base::set_min_severity(base::kLogInfo);
}

void on_alarm(int) {}

TEST(ProcessTest, WaitSurvivesInterruptingSignals) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = on_alarm;
  action.sa_flags = 0;  // no SA_RESTART: waitpid sees EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 20000;
  timer.it_interval.tv_usec = 20000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  EXPECT_EQ(run(shell("sleep 0.2; exit 7")), 7u);
  timer = {};
  setitimer(ITIMER_REAL, &timer, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
}

}  // namespace
