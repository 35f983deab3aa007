// Saving and loading a program against a real settings file (the factory file, ~120 keys per program).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "settings/factory_settings.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

class SettingsFolder {
 public:
  SettingsFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    file_ = folder_ / "TolvaneGrain.ini";
    writeFileAtomically(file_, factorySettingsFile());
  }
  ~SettingsFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path file_;
};

// The save button's program part: one load, every key in place, one atomic replacement with fsync.
void BM_SaveProgramToFile(benchmark::State& state) {
  SettingsFolder folder;
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(folder.file(), 0, s, m);
  int32_t value = 0;
  for (auto _ : state) {
    s.FonMin[0] = value++ % 256;
    WriteProgramSection(folder.file(), 0, s, m);
  }
}
BENCHMARK(BM_SaveProgramToFile)->Unit(benchmark::kMillisecond);

// The program load at a switch.
void BM_LoadProgramFromFile(benchmark::State& state) {
  SettingsFolder folder;
  SorterSettings s;
  MachineSettings m;
  for (auto _ : state) {
    ReadProgramSection(folder.file(), 9, s, m);
    benchmark::DoNotOptimize(s.FonMin[0]);
  }
}
BENCHMARK(BM_LoadProgramFromFile)->Unit(benchmark::kMicrosecond);

// Start-up reading: machine values, identifier and the active program.
void BM_StartupRead(benchmark::State& state) {
  SettingsFolder folder;
  for (auto _ : state) {
    MachineSettings m;
    SorterSettings s;
    ReadMachineSettings(folder.file(), m);
    ReadProgramSection(folder.file(), m.ActiveProg, s, m);
    benchmark::DoNotOptimize(s.FonMin[0]);
  }
}
BENCHMARK(BM_StartupRead)->Unit(benchmark::kMicrosecond);

// One key written at once, as a calibration step or the tool does.
void BM_SingleKeyWrite(benchmark::State& state) {
  SettingsFolder folder;
  const IniFile ini(folder.file());
  int32_t value = 0;
  for (auto _ : state) ini.writeInt("options", "EgecA0", value++);
}
BENCHMARK(BM_SingleKeyWrite)->Unit(benchmark::kMillisecond);

// The in-memory part of a save, without the disk.
void BM_WriteProgramInMemory(benchmark::State& state) {
  const IniDocument base = IniDocument::parse(factorySettingsFile());
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(base, 0, s, m);
  for (auto _ : state) {
    IniDocument doc = base;
    WriteProgramSection(doc, 0, s, m);
    benchmark::DoNotOptimize(doc.serialize());
  }
}
BENCHMARK(BM_WriteProgramInMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
