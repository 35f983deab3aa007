#pragma once

// A real HTTP(S) update server for tests: tests/update/update_server.py started on 127.0.0.1 with a
// free port, answering paths as a routes file says, logging every request path. Only the process
// started here is ever signalled.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/settings/settings_test_util.h"

extern char** environ;

namespace tolvane::test {

// Whether a program of this name is on PATH.
inline bool onPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && ::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Runs a program to its end; its exit status, or -1.
inline int runToEnd(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int e = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (e != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A self-signed certificate for 127.0.0.1 (cert.pem, key.pem in folder); false when openssl failed.
inline bool makeCertificate(const std::filesystem::path& folder) {
  return runToEnd({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                   (folder / "key.pem").string(), "-out", (folder / "cert.pem").string(), "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2"}) == 0;
}

// One route of the server (see update_server.py).
struct Route {
  int status = 200;
  std::filesystem::path bodyFile;  // or bodySize bytes of "x"
  long bodySize = 0;
  std::string length = "auto";  // "auto", "none" or a number
  long send = -1;               // bytes sent; -1: all
  long chunk = 0;
  double delay = 0;
};

class UpdateTestServer {
 public:
  UpdateTestServer() = default;
  UpdateTestServer(const UpdateTestServer&) = delete;
  UpdateTestServer& operator=(const UpdateTestServer&) = delete;
  ~UpdateTestServer() { stop(); }

  // Starts the server (HTTPS when cert and key are given); false with reason when it did not come up.
  bool start(std::string& reason, const std::filesystem::path& cert = {},
             const std::filesystem::path& key = {}) {
    writeRoutes();
    std::vector<std::string> args = {"python3",
                                     std::string(TOLVANE_SOURCE_DIR) + "/tests/update/update_server.py",
                                     (dir_ / "routes.json").string(), (dir_ / "requests.log").string()};
    if (!cert.empty()) {
      args.push_back(cert.string());
      args.push_back(key.string());
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      reason = "no pipe";
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int e = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (e != 0) {
      ::close(out[0]);
      pid_ = 0;
      reason = "python3 could not be started";
      return false;
    }
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
      char buffer[64];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (!line.starts_with("ready ")) {
      reason = "the server did not report ready: " + line;
      stop();
      return false;
    }
    port_ = std::stoi(line.substr(6));
    base_ = (cert.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(port_);
    return true;
  }

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
  }

  // The base address ("http://127.0.0.1:PORT") that update_server takes.
  const std::string& base() const { return base_; }
  int port() const { return port_; }

  void route(const std::string& path, const Route& r) {
    routes_[path] = r;
    writeRoutes();
  }
  void clearRoutes() {
    routes_.clear();
    writeRoutes();
  }

  // Each request as "<raw path> <user agent>", in order.
  std::vector<std::string> requests() const {
    std::ifstream in(dir_ / "requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  const std::filesystem::path& folder() const { return dir_.path(); }

 private:
  static std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  }

  void writeRoutes() {
    std::ostringstream json;
    json << "{";
    bool first = true;
    for (const auto& [path, r] : routes_) {
      json << (first ? "" : ",") << quoted(path) << ":{\"status\":" << r.status;
      if (!r.bodyFile.empty()) {
        json << ",\"body_file\":" << quoted(r.bodyFile.string());
      } else {
        json << ",\"body_size\":" << r.bodySize;
      }
      json << ",\"length\":" << (r.length == "auto" || r.length == "none" ? quoted(r.length) : r.length);
      if (r.send >= 0) json << ",\"send\":" << r.send;
      if (r.chunk > 0) json << ",\"chunk\":" << r.chunk << ",\"delay\":" << r.delay;
      json << "}";
      first = false;
    }
    json << "}";
    // Written whole and renamed, so the server never reads half a file.
    writeBytes(dir_ / "routes.tmp", json.str());
    std::filesystem::rename(dir_ / "routes.tmp", dir_ / "routes.json");
  }

  TempDir dir_;
  std::map<std::string, Route> routes_;
  pid_t pid_ = 0;
  int port_ = 0;
  std::string base_;
};

// Bytes that pass for a program of this machine: the running program's ELF head, then padding.
inline std::string programBytes(std::size_t size, char fill = 'p') {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::string bytes(64, '\0');
  in.read(bytes.data(), 64);
  bytes.resize(size, fill);
  return bytes;
}

}  // namespace tolvane::test
