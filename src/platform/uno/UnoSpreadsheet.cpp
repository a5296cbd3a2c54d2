#include "platform/uno/UnoSpreadsheet.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "settings/ProfileFile.h"

extern char** environ;

namespace marvena {

namespace {

constexpr std::size_t kCellsPerRequest = 400;

std::string bridgeEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool reportFailure(SpreadsheetError* error, SpreadsheetFault fault, std::string detail) {
  if (error) *error = {fault, std::move(detail), {}};
  return false;
}

std::int64_t monotonicNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool isReadable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

UnoOptions readUnoOptions(ProfileFile& settings, bool headless) {
  UnoOptions o;
  const std::string connection = settings.readString("Calc", "Connect", "");
  if (!connection.empty()) o.connection = connection;
  o.headless = headless;
  o.startTimeoutMs = std::clamp(settings.readInteger("Calc", "StartTimeout", 60), 1, 600) * 1000;
  o.callTimeoutMs = std::clamp(settings.readInteger("Calc", "Timeout", 60), 1, 600) * 1000;
  return o;
}

std::string findCalcBridge() {
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    std::string dir(exe, static_cast<std::size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    for (const char* rel : {"/marvena-calc-bridge.py", "/../share/marvena/calc_bridge.py"})
      if (isReadable(dir + rel)) return dir + rel;
  }
#ifdef MARVENA_CALC_BRIDGE_SOURCE
  if (isReadable(MARVENA_CALC_BRIDGE_SOURCE)) return MARVENA_CALC_BRIDGE_SOURCE;
#endif
  return {};
}

UnoSpreadsheet::UnoSpreadsheet(UnoOptions options) : options_(std::move(options)) {
  if (options_.bridgeScript.empty()) options_.bridgeScript = findCalcBridge();
}

UnoSpreadsheet::~UnoSpreadsheet() {
  disconnect();
}

bool UnoSpreadsheet::startBridge(SpreadsheetError* error) {
  if (options_.bridgeScript.empty())
    return reportFailure(error, SpreadsheetFault::Unreachable,
                         "the Calc bridge script is not installed");
  if (::access(options_.python.c_str(), X_OK) != 0)
    return reportFailure(error, SpreadsheetFault::Unreachable,
                         options_.python + " is not installed");
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return reportFailure(error, SpreadsheetFault::Unreachable,
                         std::string("socketpair: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  // Nothing else of ours (locks, the watcher) goes to the bridge or to an
  // office it starts, which outlives the tool.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The bridge must not inherit an ignored or blocked SIGPIPE/SIGTERM.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string python = options_.python, script = options_.bridgeScript;
  char* argv[] = {python.data(), script.data(), nullptr};
  const int rc = ::posix_spawn(&pid_, python.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    pid_ = -1;
    return reportFailure(error, SpreadsheetFault::Unreachable,
                         "cannot start " + python + ": " + std::strerror(rc));
  }
  socket_ = fds[0];
  input_.clear();
  return true;
}

void UnoSpreadsheet::killBridge() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  sheet_.clear();
  cells_.clear();
}

void UnoSpreadsheet::disconnect() {
  if (pid_ <= 0) return;
  // A polite end first; the bridge leaves the office and its workbook alone.
  const char quit[] = "quit\n";
  ::send(socket_, quit, sizeof quit - 1, MSG_NOSIGNAL);
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    ::usleep(10000);
  }
  killBridge();
}

bool UnoSpreadsheet::readLine(int timeoutMs, std::string* line) {
  const std::int64_t deadline = monotonicNowMs() + timeoutMs;
  for (;;) {
    const std::size_t nl = input_.find('\n');
    if (nl != std::string::npos) {
      *line = input_.substr(0, nl);
      input_.erase(0, nl + 1);
      return true;
    }
    const std::int64_t left = deadline - monotonicNowMs();
    if (left <= 0) return false;
    pollfd p{socket_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(socket_, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the bridge is gone
    input_.append(buf, static_cast<std::size_t>(n));
  }
}

bool UnoSpreadsheet::call(const std::vector<std::string>& fields, int timeoutMs, std::string* value,
                          SpreadsheetError* error) {
  if (pid_ <= 0)
    return reportFailure(error, SpreadsheetFault::Unreachable, "not connected to the office");
  std::string request;
  for (const std::string& f : fields) {
    if (!request.empty()) request += '\t';
    request += bridgeEscape(f);
  }
  request += '\n';
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = ::send(socket_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      killBridge();
      return reportFailure(error, SpreadsheetFault::Unreachable, "the Calc bridge ended");
    }
    sent += static_cast<std::size_t>(n);
  }
  std::string line;
  if (!readLine(timeoutMs, &line)) {
    const bool alive = pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
    killBridge();
    return reportFailure(error, SpreadsheetFault::Unreachable,
                         alive ? "LibreOffice did not answer " + fields[0] + " within " +
                                     std::to_string(timeoutMs / 1000) + " s"
                               : "the Calc bridge ended during " + fields[0]);
  }
  if (line == "ok" || line.rfind("ok\t", 0) == 0) {
    if (value) *value = line.size() > 3 ? unescape(line.substr(3)) : "";
    return true;
  }
  // "err", kind, detail
  const std::size_t a = line.find('\t');
  const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
  const std::string kind = a == std::string::npos ? "" : line.substr(a + 1, b - a - 1);
  const std::string detail = b == std::string::npos ? line : unescape(line.substr(b + 1));
  if (kind == "unreachable") {
    killBridge();
    return reportFailure(error, SpreadsheetFault::Unreachable, detail);
  }
  return reportFailure(error, SpreadsheetFault::Document, detail);
}

bool UnoSpreadsheet::connect(SpreadsheetError* error) {
  disconnect();
  if (!startBridge(error)) return false;
  std::string value;
  const int seconds = (options_.startTimeoutMs + 999) / 1000;
  // The bridge waits for the office itself; our deadline is a little later.
  if (!call(
          {"connect", options_.connection, options_.headless ? "1" : "0", std::to_string(seconds)},
          options_.startTimeoutMs + 10000, &value, error))
    return false;
  if (options_.log && value.rfind("started ", 0) == 0)
    options_.log("started LibreOffice (pid " + value.substr(8) + ", " +
                 (options_.headless ? "headless" : "with windows") + ") at " + options_.connection);
  return true;
}

bool UnoSpreadsheet::workbookState(const std::string& path, WorkbookState* state,
                                   SpreadsheetError* error) {
  std::string value;
  if (!call({"state", path}, options_.callTimeoutMs, &value, error)) return false;
  *state = value == "modified"     ? WorkbookState::Modified
           : value == "unmodified" ? WorkbookState::Unmodified
                                   : WorkbookState::NotOpen;
  return true;
}

bool UnoSpreadsheet::closeWorkbook(const std::string& path, SpreadsheetError* error) {
  return call({"close", path}, options_.callTimeoutMs, nullptr, error);
}

bool UnoSpreadsheet::openWorkbook(const std::string& path, SpreadsheetError* error) {
  sheet_.clear();
  cells_.clear();
  return call({"open", path}, options_.callTimeoutMs, nullptr, error);
}

bool UnoSpreadsheet::flushCells(SpreadsheetError* error) {
  if (sheet_.empty()) return true;
  std::vector<std::string> request{"fill", sheet_};
  request.insert(request.end(), cells_.begin(), cells_.end());
  cells_.clear();
  if (call(request, options_.callTimeoutMs, nullptr, error)) return true;
  if (error) error->sheet = sheet_;
  sheet_.clear();
  return false;
}

bool UnoSpreadsheet::activateSheet(const std::string& name, SpreadsheetError* error) {
  if (!flushCells(error)) return false;
  sheet_ = name;
  return true;
}

bool UnoSpreadsheet::setCellText(const std::string& cell, const std::string& utf8,
                                 SpreadsheetError* error) {
  if (pid_ <= 0)
    return reportFailure(error, SpreadsheetFault::Unreachable, "not connected to the office");
  cells_.push_back(cell);
  cells_.push_back(utf8);
  return cells_.size() < 2 * kCellsPerRequest || flushCells(error);
}

bool UnoSpreadsheet::show(SpreadsheetError* error) {
  return flushCells(error) && call({"show"}, options_.callTimeoutMs, nullptr, error);
}

}  // namespace marvena
