#include "base/logging.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include <fmt/format.h>

#include "base/platform/clock.h"
#include "base/platform/platform.h"

namespace base {
namespace {

// Process-wide settings; plain variables by design (configured before other threads log).
int g_min_severity = kLogInfo;
int g_destination = kLogToConsole;
bool g_item_process_id = false;
bool g_item_thread_id = false;
bool g_item_timestamp = true;
bool g_item_tick_count = false;
std::string* g_log_file_name = nullptr;
FILE* g_log_file = nullptr;
std::mutex* g_file_lock = nullptr;

constexpr const char* kSeverityNames[] = {"INFO", "WARNING", "ERROR", "ERROR_REPORT", "FATAL"};

bool uses_file(int destination) {
  return destination == kLogToFile || destination == kLogToConsoleAndFile;
}

void write_stderr(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

void write_file(const std::string& line) {
  if (g_log_file == nullptr) {
    if (g_log_file_name == nullptr) g_log_file_name = new std::string("debug.log");
    g_log_file = fopen(g_log_file_name->c_str(), "a");
    if (g_log_file == nullptr) return;
  }
  if (g_file_lock == nullptr) g_file_lock = new std::mutex;
  std::lock_guard<std::mutex> lock(*g_file_lock);
  fwrite(line.data(), 1, line.size(), g_log_file);
  fflush(g_log_file);
}

}  // namespace

const char* severity_name(int severity) {
  if (severity < 0 || severity > kLogFatal) return "UNKNOWN";
  return kSeverityNames[severity];
}

void set_min_severity(int severity) { g_min_severity = severity; }
int min_severity() { return g_min_severity; }

void set_log_items(bool process_id, bool thread_id, bool timestamp, bool tick_count) {
  g_item_process_id = process_id;
  g_item_thread_id = thread_id;
  g_item_timestamp = timestamp;
  g_item_tick_count = tick_count;
}

void close_log_file() {
  if (g_log_file != nullptr) {
    fclose(g_log_file);
    g_log_file = nullptr;
  }
}

void init_logging(const char* file_name, int destination) {
  close_log_file();
  g_destination = destination;
  if (!uses_file(destination)) return;
  if (g_log_file_name == nullptr) g_log_file_name = new std::string;
  *g_log_file_name = file_name;
  g_log_file = fopen(g_log_file_name->c_str(), "a");
}

LogEntry::LogEntry(const char* file, int line) : LogEntry(file, line, kLogInfo) {}

LogEntry::LogEntry(const char* file, int line, int severity)
    : severity_(severity), saved_errno_(errno) {
  write_header(file, line);
}

LogEntry::LogEntry(const char* file, int line, const std::string& check_text)
    : LogEntry(file, line, kLogFatal, check_text) {}

LogEntry::LogEntry(const char* file, int line, int severity, const std::string& check_text)
    : LogEntry(file, line, severity) {
  text_ << "Check failed: " << check_text;
}

void LogEntry::write_header(const char* file, int line) {
  platform::Clock& clock = platform::get<platform::Clock>();
  text_ << '[';
  if (g_item_process_id) text_ << clock.process_id() << ':';
  if (g_item_thread_id) text_ << clock.thread_id() << ':';
  if (g_item_timestamp) {
    const std::tm tm = clock.local_time();
    text_ << fmt::format("{:02d}{:02d}/{:02d}{:02d}{:02d}:", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                         tm.tm_min, tm.tm_sec);
  }
  if (g_item_tick_count) text_ << clock.tick_count_ms() << ':';
  const char* slash = std::strrchr(file, '/');
  text_ << severity_name(severity_) << ':' << (slash ? slash + 1 : file) << '(' << line << ")] ";
}

LogEntry::~LogEntry() {
  if (severity_ >= g_min_severity) {
    const std::string text = text_.str();
    const std::string line = text + "\r\n";
    if (severity_ >= kLogError || g_destination == kLogToConsole ||
        g_destination == kLogToConsoleAndFile) {
      write_stderr(line);
    }
    if (uses_file(g_destination)) write_file(line);
    if (severity_ == kLogErrorReport && !text.empty()) write_stderr(text + "\n");
  }
  errno = saved_errno_;
}

CheckException::CheckException(const char* condition, const char* file, int line)
    : message_(fmt::format("{}:{} {} check failed", file, line, condition)) {
  LogEntry(file, line, kLogError).stream() << message_;
}

void throw_error(const char* file, int line, const std::string& message) {
  LogEntry(file, line, kLogError).stream() << message;
  throw std::runtime_error(message);
}

}  // namespace base
