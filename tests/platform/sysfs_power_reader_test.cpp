#include "platform/sysfs_power_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// A power_supply folder in a temporary directory, removed at the end.
class FakePowerSupplies {
 public:
  FakePowerSupplies() {
    std::string pattern = (fs::temp_directory_path() / "tolvane-power-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    root_ = pattern;
  }
  ~FakePowerSupplies() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void add(const std::string& name, const std::map<std::string, std::string>& attributes) {
    fs::create_directories(root_ / name);
    for (const auto& [key, value] : attributes) std::ofstream(root_ / name / key) << value << "\n";
  }
  PowerStatus read() const { return SysfsPowerReader(root_).read(); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

TEST(SysfsPowerReaderTest, LaptopOnMains) {
  FakePowerSupplies supplies;
  supplies.add("AC", {{"type", "Mains"}, {"online", "1"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "87"}, {"status", "Charging"}, {"present", "1"}});
  EXPECT_EQ(supplies.read(),
            (PowerStatus{.known = true, .onMains = true, .lowBattery = false, .batteryPercent = 87}));
}

TEST(SysfsPowerReaderTest, MainsLost) {
  for (const char* charge : {"91", "90"}) {
    FakePowerSupplies supplies;
    supplies.add("AC", {{"type", "Mains"}, {"online", "0"}});
    supplies.add("BAT0", {{"type", "Battery"}, {"capacity", charge}, {"status", "Discharging"}});
    const PowerStatus status = supplies.read();
    EXPECT_TRUE(status.known);
    EXPECT_FALSE(status.onMains);
    EXPECT_EQ(status.batteryPercent, std::stoi(charge));
  }
}

TEST(SysfsPowerReaderTest, AnyExternalSupplyOnlineMeansMains) {
  FakePowerSupplies supplies;
  supplies.add("AC", {{"type", "Mains"}, {"online", "0"}});
  supplies.add("ucsi-source-psy-USBC000:001", {{"type", "USB"}, {"online", "1"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "50"}, {"status", "Charging"}});
  const PowerStatus status = supplies.read();
  EXPECT_TRUE(status.known);
  EXPECT_TRUE(status.onMains);
}

TEST(SysfsPowerReaderTest, WithoutMainsEntryTheBatteryTellsTheDirection) {
  struct Case {
    const char* status;
    bool known;
    bool onMains;
  };
  for (const Case c :
       {Case{"Discharging", true, false}, Case{"Charging", true, true}, Case{"Full", true, true},
        Case{"Not charging", true, true}, Case{"Unknown", false, true}}) {
    FakePowerSupplies supplies;
    supplies.add("BAT1", {{"type", "Battery"}, {"capacity", "64"}, {"status", c.status}});
    const PowerStatus status = supplies.read();
    EXPECT_EQ(status.known, c.known) << c.status;
    EXPECT_EQ(status.onMains, c.onMains) << c.status;
    EXPECT_EQ(status.batteryPercent, 64) << c.status;
  }
}

TEST(SysfsPowerReaderTest, SeveralBatteriesGiveTheirMean) {
  FakePowerSupplies supplies;
  supplies.add("AC", {{"type", "Mains"}, {"online", "0"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "90"}});
  supplies.add("BAT1", {{"type", "Battery"}, {"capacity", "91"}});
  EXPECT_EQ(supplies.read().batteryPercent, 90);  // 90.5, halves to even
  supplies.add("BAT1", {{"type", "Battery"}, {"capacity", "93"}});
  EXPECT_EQ(supplies.read().batteryPercent, 92);  // 91.5
  supplies.add("ups", {{"type", "UPS"}, {"capacity", "60"}});
  EXPECT_EQ(supplies.read().batteryPercent, 81);  // 243 / 3
}

TEST(SysfsPowerReaderTest, PeripheralsAndAbsentBatteriesAreIgnored) {
  FakePowerSupplies supplies;
  supplies.add("AC", {{"type", "Mains"}, {"online", "1"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "95"}});
  supplies.add("BAT1", {{"type", "Battery"}, {"capacity", "3"}, {"present", "0"}});
  supplies.add("hidpp_battery_0",
               {{"type", "Battery"}, {"capacity", "5"}, {"scope", "Device"}, {"status", "Discharging"}});
  supplies.add("mouse-ac", {{"type", "Mains"}, {"online", "0"}, {"scope", "Device"}});
  const PowerStatus status = supplies.read();
  EXPECT_TRUE(status.onMains);
  EXPECT_EQ(status.batteryPercent, 95);
}

TEST(SysfsPowerReaderTest, CriticalLevelMeansLowBattery) {
  FakePowerSupplies supplies;
  supplies.add("AC", {{"type", "Mains"}, {"online", "0"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "4"}, {"capacity_level", "Critical"}});
  EXPECT_TRUE(supplies.read().lowBattery);
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "30"}, {"capacity_level", "Normal"}});
  EXPECT_FALSE(supplies.read().lowBattery);
}

TEST(SysfsPowerReaderTest, OddFilesGiveUnknownParts) {
  FakePowerSupplies supplies;
  EXPECT_EQ(supplies.read(), PowerStatus{}) << "no supplies at all (a desktop without UPS)";
  EXPECT_EQ(SysfsPowerReader(supplies.root() / "missing").read(), PowerStatus{});

  supplies.add("AC", {{"type", "Mains"}, {"online", "maybe"}});
  supplies.add("BAT0", {{"type", "Battery"}, {"capacity", "150"}});
  supplies.add("BAT1", {{"type", "Battery"}, {"capacity", "abc"}});
  supplies.add("BAT2", {{"type", "Battery"}, {"capacity", "-4"}});
  supplies.add("BAT3", {{"type", "Battery"}, {"capacity", ""}});
  supplies.add("notype", {{"online", "1"}});
  fs::create_directories(supplies.root() / "empty");
  std::ofstream(supplies.root() / "stray-file") << "x";
  EXPECT_EQ(supplies.read(), PowerStatus{});

  // An attribute far longer than any real one is not read as a number.
  supplies.add("BAT4", {{"type", "Battery"}, {"capacity", "5" + std::string(1000, '0')}});
  EXPECT_EQ(supplies.read().batteryPercent, -1);
  supplies.add("BAT5", {{"type", "Battery"}, {"capacity", "42"}});
  EXPECT_EQ(supplies.read().batteryPercent, 42);
}

TEST(SysfsPowerReaderTest, ThisMachineGivesAPlausibleAnswer) {
  const PowerStatus status = SysfsPowerReader().read();
  EXPECT_GE(status.batteryPercent, -1);
  EXPECT_LE(status.batteryPercent, 100);
}

}  // namespace
}  // namespace tolvane
