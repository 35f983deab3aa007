#pragma once

// A real SMTP server on 127.0.0.1 for the support mail tests: tests/netio/smtp_server.py (aiosmtpd),
// started by the test and ended in its destructor. Only the process started here is ever signalled.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace tolvane::test {

// Runs argv with output discarded; the exit code, or -1 when it could not start.
inline int runQuietly(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A Python 3 that has aiosmtpd (Debian's python3-aiosmtpd lives beside /usr/bin/python3); empty if none.
inline std::string pythonWithAiosmtpd() {
  for (const char* candidate : {"/usr/bin/python3", "python3"}) {
    if (runQuietly({candidate, "-c", "import aiosmtpd, email"}) == 0) return candidate;
  }
  return {};
}

// A self-signed certificate for 127.0.0.1 in folder (cert.pem, key.pem); false when openssl failed.
inline bool makeTestCertificate(const std::filesystem::path& folder) {
  return runQuietly({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                     "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout",
                     (folder / "key.pem").string(), "-out", (folder / "cert.pem").string()}) == 0;
}

// A loopback port on which nothing listens (bound, read, closed).
inline int unusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

class SmtpTestServer {
 public:
  // mode: "plain", "starttls" or "smtps" (the latter two need cert.pem and key.pem in certFolder).
  SmtpTestServer(const std::string& python, const std::filesystem::path& mailFolder, const std::string& user,
                 const std::string& password, const std::string& mode,
                 const std::filesystem::path& certFolder = {}) {
    std::vector<std::string> argv = {python,
                                     std::string(TOLVANE_SOURCE_DIR) + "/tests/netio/smtp_server.py",
                                     mailFolder.string(),
                                     user,
                                     password,
                                     mode};
    if (mode != "plain") {
      argv.push_back((certFolder / "cert.pem").string());
      argv.push_back((certFolder / "key.pem").string());
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int started = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (started != 0) {
      pid_ = 0;
      ::close(pipeFds[0]);
      return;
    }
    // Wait (at most 5 s) for "ready <port>".
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[64];
      const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (line.starts_with("ready ")) port_ = std::atoi(line.c_str() + 6);
  }
  SmtpTestServer(const SmtpTestServer&) = delete;
  SmtpTestServer& operator=(const SmtpTestServer&) = delete;
  ~SmtpTestServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      for (int i = 0; i < 50 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(20000);
      if (::waitpid(pid_, &status, WNOHANG) == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
      }
    }
  }

  // 0 when the server did not come up.
  int port() const { return port_; }

 private:
  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace tolvane::test
