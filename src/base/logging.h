// The leveled log, condition checks and the failed-operation convention.
//
//   LOG(ERROR) << "Unable to open " << name;      // emitted when the statement ends
//   CHECK(data[length] == '\0');                    // logs at ERROR, throws base::CheckException
//   CHECK_CALL(io_->read(&record));                 // logs "io_->read(&record) failed", throws
//   THROW_ERROR(fmt::format("Unable to find asset \"{}\"", path));  // logs, throws runtime_error
//
// A line reads "[" + enabled items + severity + ":" + file + "(" + line + ")] " + message + "\r\n".
// The file is the source path relative to the repository root, as __FILE__ gives it here.
// Settings are plain process-wide variables: configure them on the starting thread.
#pragma once

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>

namespace base {

// Severity values and the names printed for them.
constexpr int kLogInfo = 0;
constexpr int kLogWarning = 1;
constexpr int kLogError = 2;
constexpr int kLogErrorReport = 3;  // written to standard error twice
constexpr int kLogFatal = 4;        // written like ERROR; does not end the process

// Where emitted entries go. ERROR and above always reach standard error.
enum LogDestination : int {
  kLogNone = 0,
  kLogToFile = 1,
  kLogToConsole = 2,
  kLogToConsoleAndFile = 3,
};

// Printed name of a severity ("INFO" ... "FATAL"); "UNKNOWN" outside 0..4.
[[nodiscard]] const char* severity_name(int severity);

void set_min_severity(int severity);
[[nodiscard]] int min_severity();
void set_log_items(bool process_id, bool thread_id, bool timestamp, bool tick_count);
// Closes an open log file; stores the destination; for 1 and 3 also stores the file name and
// opens it in append mode (a failure to open is silent and retried by the next entry).
void init_logging(const char* file_name, int destination);
void close_log_file();

// One entry being composed. The header is written on construction; the entry is emitted on
// destruction when its severity reaches the minimum. The thread's errno is saved on
// construction and restored after emission, so logging never changes what a caller reads.
class LogEntry {
 public:
  LogEntry(const char* file, int line);
  LogEntry(const char* file, int line, int severity);
  LogEntry(const char* file, int line, const std::string& check_text);
  LogEntry(const char* file, int line, int severity, const std::string& check_text);
  ~LogEntry();
  LogEntry(const LogEntry&) = delete;
  LogEntry& operator=(const LogEntry&) = delete;

  std::ostringstream& stream() { return text_; }

 private:
  void write_header(const char* file, int line);

  int severity_;
  std::ostringstream text_;
  int saved_errno_;
};

// Thrown by CHECK. Its text is "{file}:{line} {condition} check failed"; constructing it logs
// that text at ERROR.
class CheckException : public std::exception {
 public:
  CheckException(const char* condition, const char* file, int line);
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Logs `message` at ERROR with the given location, then throws std::runtime_error(message).
[[noreturn]] void throw_error(const char* file, int line, const std::string& message);

namespace log_severity {
constexpr int INFO = kLogInfo;
constexpr int WARNING = kLogWarning;
constexpr int ERROR = kLogError;
constexpr int ERROR_REPORT = kLogErrorReport;
constexpr int FATAL = kLogFatal;
}  // namespace log_severity

}  // namespace base

// LOG(INFO), LOG(WARNING), LOG(ERROR), LOG(ERROR_REPORT), LOG(FATAL).
#define LOG(severity) ::base::LogEntry(__FILE__, __LINE__, ::base::log_severity::severity).stream()

#define CHECK(condition)                                            \
  do {                                                              \
    if (!(condition)) {                                             \
      throw ::base::CheckException(#condition, __FILE__, __LINE__); \
    }                                                               \
  } while (false)

#define CHECK_CALL(expression)                                                       \
  do {                                                                               \
    if (!(expression)) {                                                             \
      ::base::throw_error(__FILE__, __LINE__, std::string(#expression) + " failed"); \
    }                                                                                \
  } while (false)

#define THROW_ERROR(message) ::base::throw_error(__FILE__, __LINE__, (message))
