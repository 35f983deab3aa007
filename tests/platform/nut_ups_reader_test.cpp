#include "platform/nut_ups_reader.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// ---------------------------------------------------------------------------------------------------
// Parsing

TEST(NutUpsAddressTest, ParsesTheUsualForms) {
  EXPECT_EQ(parseNutUpsAddress("ups"), (NutUpsAddress{"ups", "127.0.0.1", 3493}));
  EXPECT_EQ(parseNutUpsAddress("eaton@localhost"), (NutUpsAddress{"eaton", "localhost", 3493}));
  EXPECT_EQ(parseNutUpsAddress("ups@10.0.0.5:4000"), (NutUpsAddress{"ups", "10.0.0.5", 4000}));
  EXPECT_EQ(parseNutUpsAddress("ups@[::1]:3494"), (NutUpsAddress{"ups", "::1", 3494}));
  EXPECT_EQ(parseNutUpsAddress("ups@[::1]"), (NutUpsAddress{"ups", "::1", 3493}));
  for (const char* bad : {"", "@host", "u ps", "ups\"x", "ups@", "ups@host:", "ups@host:0", "ups@host:65536",
                          "ups@host:12x", "ups@[::1", "ups@[::1]x", "ups@ho st", "ups\n@host"}) {
    EXPECT_EQ(parseNutUpsAddress(bad), std::nullopt) << bad;
  }
}

TEST(NutParsingTest, StatusWords) {
  const NutStatusWords online = parseNutStatusWords("OL CHRG");
  EXPECT_TRUE(online.onLine);
  EXPECT_FALSE(online.onBattery);
  EXPECT_FALSE(online.lowBattery);
  const NutStatusWords low = parseNutStatusWords("OB DISCHRG LB");
  EXPECT_FALSE(low.onLine);
  EXPECT_TRUE(low.onBattery);
  EXPECT_TRUE(low.lowBattery);
  const NutStatusWords spaced = parseNutStatusWords("  OB   LB ");
  EXPECT_TRUE(spaced.onBattery);
  EXPECT_TRUE(spaced.lowBattery);
  const NutStatusWords lookalike = parseNutStatusWords("OLX BOB LBX");
  EXPECT_FALSE(lookalike.onLine || lookalike.onBattery || lookalike.lowBattery);
  const NutStatusWords empty = parseNutStatusWords("");
  EXPECT_FALSE(empty.onLine || empty.onBattery || empty.lowBattery);
}

TEST(NutParsingTest, VarAnswers) {
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status \"OB LB\"", "ups", "ups.status"), "OB LB");
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status \"\"", "ups", "ups.status"), "");
  EXPECT_EQ(parseNutVarAnswer(R"(VAR ups ups.model "a \"b\" \\c")", "ups", "ups.model"), R"(a "b" \c)");
  EXPECT_EQ(parseNutVarAnswer("ERR UNKNOWN-UPS", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR other ups.status \"OL\"", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR ups battery.charge \"91\"", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status \"OL", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status \"OL\" junk", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status OL", "ups", "ups.status"), std::nullopt);
  EXPECT_EQ(parseNutVarAnswer("VAR ups ups.status \"OL\\", "ups", "ups.status"), std::nullopt);
}

TEST(NutParsingTest, Charge) {
  EXPECT_EQ(parseNutCharge("91"), 91);
  EXPECT_EQ(parseNutCharge("0"), 0);
  EXPECT_EQ(parseNutCharge("100"), 100);
  EXPECT_EQ(parseNutCharge("90.4"), 90);
  EXPECT_EQ(parseNutCharge("90.5"), 90);  // halves to even
  EXPECT_EQ(parseNutCharge("91.5"), 92);
  EXPECT_EQ(parseNutCharge(" 87 "), 87);
  for (const char* bad : {"", "abc", "101", "-1", "nan", "inf", "91%", "9 1", "1e3"}) {
    EXPECT_EQ(parseNutCharge(bad), -1) << bad;
  }
}

// ---------------------------------------------------------------------------------------------------
// A scripted server on loopback, for answers a real upsd would not give.

struct Reply {
  std::string text;    // sent as is (add "\n" for a whole line)
  bool close = false;  // close the connection after sending
};

class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<Reply(const std::string& request)> script)
      : script_(std::move(script)) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listen_, 4) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("test server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(listen_);
  }

  std::uint16_t port() const { return port_; }
  // The client may hang up before this thread has read its last line; wait for it, bounded.
  std::vector<std::string> requestsOnceThereAre(std::size_t count) const {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
    return requests_;
  }

 private:
  void serve() {
    int client = -1;
    std::string pending;
    while (!stop_) {
      pollfd p{client >= 0 ? client : listen_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      if (client < 0) {
        client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        pending.clear();
        continue;
      }
      char chunk[256];
      const ssize_t n = recv(client, chunk, sizeof chunk, 0);
      if (n <= 0) {
        close(client);
        client = -1;
        continue;
      }
      pending.append(chunk, static_cast<std::size_t>(n));
      for (std::size_t eol; client >= 0 && (eol = pending.find('\n')) != std::string::npos;) {
        const std::string request = pending.substr(0, eol);
        pending.erase(0, eol + 1);
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(request);
        }
        arrived_.notify_all();
        const Reply reply = script_(request);
        if (!reply.text.empty()) send(client, reply.text.data(), reply.text.size(), MSG_NOSIGNAL);
        if (reply.close) {
          close(client);
          client = -1;
        }
      }
    }
    if (client >= 0) close(client);
  }

  std::function<Reply(const std::string&)> script_;
  int listen_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

Reply upsAnswers(const std::string& request, const std::string& status, const std::string& charge) {
  if (request == "GET VAR ups ups.status") return {"VAR ups ups.status \"" + status + "\"\n"};
  if (request == "GET VAR ups battery.charge") return {"VAR ups battery.charge \"" + charge + "\"\n"};
  if (request == "LOGOUT") return {"OK Goodbye\n", true};
  return {"ERR UNKNOWN-COMMAND\n"};
}

PowerStatus readFrom(std::uint16_t port) {
  return NutUpsReader(NutUpsAddress{"ups", "127.0.0.1", port}, milliseconds(300)).read();
}

TEST(NutUpsReaderTest, ReadsStatusAndChargeWithTheProtocol) {
  ScriptedServer server([](const std::string& r) { return upsAnswers(r, "OB DISCHRG", "91"); });
  const PowerStatus status = readFrom(server.port());
  EXPECT_TRUE(status.known);
  EXPECT_FALSE(status.onMains);
  EXPECT_FALSE(status.lowBattery);
  EXPECT_EQ(status.batteryPercent, 91);
  EXPECT_EQ(server.requestsOnceThereAre(3),
            (std::vector<std::string>{"GET VAR ups ups.status", "GET VAR ups battery.charge", "LOGOUT"}));
}

TEST(NutUpsReaderTest, StatusWordsDecideTheMains) {
  struct Case {
    const char* status;
    bool known;
    bool onMains;
    bool low;
  };
  for (const Case c :
       {Case{"OL", true, true, false}, Case{"OL CHRG", true, true, false}, Case{"OB LB", true, false, true},
        Case{"OL OB", false, true, false}, Case{"WAIT", false, true, false}, Case{"", false, true, false}}) {
    ScriptedServer server([&](const std::string& r) { return upsAnswers(r, c.status, "55"); });
    const PowerStatus status = readFrom(server.port());
    EXPECT_EQ(status.known, c.known) << c.status;
    EXPECT_EQ(status.onMains, c.onMains) << c.status;
    EXPECT_EQ(status.lowBattery, c.low) << c.status;
    EXPECT_EQ(status.batteryPercent, 55) << c.status;
  }
}

TEST(NutUpsReaderTest, ErrorAnswersLeaveTheirPartUnknown) {
  {
    ScriptedServer server([](const std::string& r) {
      if (r.find("battery.charge") != std::string::npos) return Reply{"ERR VAR-NOT-SUPPORTED\n"};
      return upsAnswers(r, "OL", "");
    });
    const PowerStatus status = readFrom(server.port());
    EXPECT_TRUE(status.known);
    EXPECT_TRUE(status.onMains);
    EXPECT_EQ(status.batteryPercent, -1);
  }
  {
    ScriptedServer server([](const std::string&) { return Reply{"ERR UNKNOWN-UPS\n"}; });
    EXPECT_EQ(readFrom(server.port()), PowerStatus{});
  }
  {
    ScriptedServer server([](const std::string& r) { return upsAnswers(r, "OB", "ninety"); });
    const PowerStatus status = readFrom(server.port());
    EXPECT_TRUE(status.known);
    EXPECT_FALSE(status.onMains);
    EXPECT_EQ(status.batteryPercent, -1);
  }
}

// Down, silent, rude or confused servers: an unknown status, within the timeout, never a hang.
TEST(NutUpsReaderTest, OddServersGiveUnknown) {
  const PowerStatus unknown{};
  {
    ScriptedServer server([](const std::string&) { return Reply{"", true}; });
    EXPECT_EQ(readFrom(server.port()), unknown) << "closes at once";
  }
  {
    ScriptedServer server([](const std::string&) { return Reply{}; });
    EXPECT_EQ(readFrom(server.port()), unknown) << "never answers";
  }
  {
    ScriptedServer server([](const std::string&) { return Reply{"HELLO THERE\n"}; });
    EXPECT_EQ(readFrom(server.port()), unknown) << "answers something else";
  }
  {
    ScriptedServer server([](const std::string&) { return Reply{std::string(5000, 'x')}; });
    EXPECT_EQ(readFrom(server.port()), unknown) << "endless line";
  }
  {
    ScriptedServer server([](const std::string&) { return Reply{"VAR ups ups.status \"OL"}; });
    EXPECT_EQ(readFrom(server.port()), unknown) << "half a line";
  }
  {
    // A port nobody listens on.
    std::uint16_t port = 0;
    {
      ScriptedServer gone([](const std::string&) { return Reply{}; });
      port = gone.port();
    }
    EXPECT_EQ(readFrom(port), unknown) << "no server";
  }
  EXPECT_EQ(NutUpsReader(NutUpsAddress{"bad name", "127.0.0.1", 3493}).read(), unknown);
}

// ---------------------------------------------------------------------------------------------------
// The real upsd with the dummy-ups driver, as the machine would run it.

fs::path findNutProgram(const char* name) {
  for (const char* folder : {"/lib/nut", "/usr/lib/nut", "/usr/libexec/nut"}) {
    const fs::path path = fs::path(folder) / name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::uint16_t freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool portAnswers(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// dummy-ups and upsd in a folder of their own, on a free loopback port; stops what it started.
class NutServer {
 public:
  NutServer(const fs::path& driver, const fs::path& upsd, const std::string& status,
            const std::string& charge) {
    std::string pattern = (fs::temp_directory_path() / "tolvane-nut-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    port_ = freeLoopbackPort();
    write("ups.conf", "[ups]\n  driver = dummy-ups\n  port = " + (folder_ / "ups.dev").string() +
                          "\n  desc = \"test UPS\"\n");
    write("ups.dev", "ups.status: " + status + "\nbattery.charge: " + charge + "\n");
    write("upsd.conf", "LISTEN 127.0.0.1 " + std::to_string(port_) + "\n");
    write("upsd.users", "");
    write("nut.conf", "MODE=standalone\n");
    fs::permissions(folder_ / "upsd.users", fs::perms::owner_read | fs::perms::owner_write);

    // As root the programs would switch to the "nut" user, who cannot read this folder: keep root.
    std::vector<std::string> asUser;
    if (geteuid() == 0) asUser = {"-u", "root"};
    std::vector<std::string> driverArgs{driver.string(), "-a", "ups", "-F"};
    driverArgs.insert(driverArgs.end(), asUser.begin(), asUser.end());
    std::vector<std::string> upsdArgs{upsd.string(), "-F"};
    upsdArgs.insert(upsdArgs.end(), asUser.begin(), asUser.end());
    driverPid_ = spawn(driverArgs, "driver.log");
    // upsd retries a missing driver only every few seconds: start it once the driver's socket is there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(folder_ / "dummy-ups-ups") && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(10));
    }
    upsdPid_ = spawn(upsdArgs, "upsd.log");
  }

  ~NutServer() {
    stop(upsdPid_);
    stop(driverPid_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  std::uint16_t port() const { return port_; }
  bool running() const { return upsdPid_ > 0 && driverPid_ > 0; }
  std::string logs() const { return read("driver.log") + read("upsd.log"); }

 private:
  void write(const std::string& name, const std::string& text) { std::ofstream(folder_ / name) << text; }
  std::string read(const std::string& name) const {
    std::ifstream in(folder_ / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  pid_t spawn(const std::vector<std::string>& argv, const std::string& log) {
    std::vector<std::string> env{"NUT_CONFPATH=" + folder_.string(), "NUT_STATEPATH=" + folder_.string(),
                                 "NUT_ALTPIDPATH=" + folder_.string()};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("NUT_", 0) != 0) env.push_back(entry);
    }
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string logPath = (folder_ / log).string();
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
  }

  // Ends one of our own children: politely, then for sure, and reaps it.
  static void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 250; ++i) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) return;
      std::this_thread::sleep_for(milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  fs::path folder_;
  std::uint16_t port_ = 0;
  pid_t driverPid_ = -1;
  pid_t upsdPid_ = -1;
};

// Polls until upsd serves the driver's data; bounded.
PowerStatus readWhenReady(NutServer& server) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!portAnswers(server.port()) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  NutUpsReader reader(NutUpsAddress{"ups", "127.0.0.1", server.port()}, milliseconds(1000));
  PowerStatus status = reader.read();
  while ((!status.known || !status.batteryKnown()) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(50));
    status = reader.read();
  }
  return status;
}

class NutUpsdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_ = findNutProgram("dummy-ups");
    upsd_ = findNutProgram("upsd");
    if (driver_.empty() || upsd_.empty()) {
      GTEST_SKIP() << "Network UPS Tools not installed (dummy-ups and upsd from Debian's nut-server)";
    }
  }
  fs::path driver_, upsd_;
};

TEST_F(NutUpsdTest, Online) {
  NutServer server(driver_, upsd_, "OL", "100");
  ASSERT_TRUE(server.running());
  const PowerStatus status = readWhenReady(server);
  EXPECT_TRUE(status.known) << server.logs();
  EXPECT_TRUE(status.onMains);
  EXPECT_FALSE(status.lowBattery);
  EXPECT_EQ(status.batteryPercent, 100);
}

TEST_F(NutUpsdTest, OnBatteryAt91Percent) {
  NutServer server(driver_, upsd_, "OB DISCHRG", "91");
  ASSERT_TRUE(server.running());
  const PowerStatus status = readWhenReady(server);
  EXPECT_TRUE(status.known) << server.logs();
  EXPECT_FALSE(status.onMains);
  EXPECT_EQ(status.batteryPercent, 91);
}

TEST_F(NutUpsdTest, OnBatteryAt90Percent) {
  NutServer server(driver_, upsd_, "OB DISCHRG", "90");
  ASSERT_TRUE(server.running());
  const PowerStatus status = readWhenReady(server);
  EXPECT_TRUE(status.known) << server.logs();
  EXPECT_FALSE(status.onMains);
  EXPECT_EQ(status.batteryPercent, 90);
  // Asking for a UPS that upsd does not serve is an unknown status, not a failure.
  EXPECT_EQ(NutUpsReader(NutUpsAddress{"other", "127.0.0.1", server.port()}).read(), PowerStatus{});
}

}  // namespace
}  // namespace tolvane
