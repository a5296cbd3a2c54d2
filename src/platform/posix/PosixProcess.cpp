#include "platform/posix/PosixProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace marvena {

namespace {

bool isExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file exec runs: a name with "/" as it is (relative to the working
// directory the child changes into), any other name from PATH.
std::string resolve(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* env = std::getenv("PATH");
  const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = end == start ? "." : path.substr(start, end - start);
    const std::string candidate = dir + "/" + program;
    if (isExecutable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace

std::vector<std::string> splitCommandWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : line) {
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        word.push_back(c);
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (quote) return {};
  if (inWord) words.push_back(std::move(word));
  return words;
}

int PosixProcessRunner::runAndWait(const std::string& commandLine,
                                   const std::string& workingDirectory, const StopWaiting& stop) {
  const std::vector<std::string> words = splitCommandWords(commandLine);
  if (words.empty()) return kNotStarted;
  const std::string program = resolve(words[0]);
  if (program.empty()) return kNotStarted;
  // Everything the child needs is made before fork: after it, only calls
  // that are safe in a copy of a threaded process.
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return kNotStarted;

  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return kNotStarted;
  }
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // An ignored SIGPIPE would stay ignored in the program started.
    ::signal(SIGPIPE, SIG_DFL);
    int err = 0;
    if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) {
      err = errno;
    } else {
      // Descriptors other than the standard streams and the report pipe
      // stay with the tool.
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != report[1]) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      ::execve(program.c_str(), argv.data(), environ);
      err = errno;
    }
    (void)!::write(report[1], &err, sizeof err);
    ::_exit(127);
  }
  ::close(report[1]);
  int childError = 0;
  ssize_t n;
  do n = ::read(report[0], &childError, sizeof childError);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n > 0) {
    ::waitpid(pid, nullptr, 0);
    return kNotStarted;
  }

  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      continue;
    }
    if (done < 0 && errno != EINTR) return kNotStarted;
    if (stop && stop()) return kNotWaited;  // the child runs on; init reaps it
    ::poll(nullptr, 0, 50);
  }
}

}  // namespace marvena
