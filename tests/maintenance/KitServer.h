// The test web server (kit_server.py) in a process of its own on loopback,
// serving a fresh directory; and a self-signed certificate for it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace marvena {

// A fresh directory under /tmp, removed with the object.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/marvena-maint-XXXXXX";
    if (::mkdtemp(pattern)) path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

// openssl makes a certificate for 127.0.0.1 and localhost in `dir`:
// dir/cert.pem and dir/key.pem; false when openssl failed.
inline bool makeCertificate(const std::string& dir) {
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost "
      "-addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout '" +
      dir + "/key.pem' -out '" + dir + "/cert.pem' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

class KitServer {
 public:
  // `extra`: further arguments of kit_server.py (--stall NAME, --tls ...).
  KitServer(const std::string& root, const std::vector<std::string>& extra = {}) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    std::vector<std::string> args{"/usr/bin/python3", MARVENA_KIT_SERVER, "--root", root};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    char line[64] = {};
    std::size_t n = 0;
    while (n < sizeof line - 1 && ::read(fds[0], line + n, 1) == 1 && line[n] != '\n') ++n;
    ::close(fds[0]);
    if (n > 5) port = std::atoi(line + 5);
  }
  ~KitServer() { stop(); }
  void stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  KitServer(const KitServer&) = delete;
  KitServer& operator=(const KitServer&) = delete;

  std::string url(const std::string& scheme = "http") const {
    return scheme + "://127.0.0.1:" + std::to_string(port);
  }
  int port = 0;

 private:
  pid_t pid_ = -1;
};

}  // namespace marvena
