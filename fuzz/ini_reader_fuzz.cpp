// Any bytes as a settings file: parsing, reading every program, writing and serialising must neither
// crash nor change bytes that were not written.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniDocument doc = IniDocument::parse(bytes);
  if (doc.serialize() != bytes) std::abort();

  MachineSettings machine;
  readStoredControls(doc, machine);
  ReadMachineSettings(doc, machine);
  machine.MachineId = readMachineId(bytes, machine.MachineId);
  SorterSettings sorter;
  for (int program = 0; program < kProgramCount; ++program) ReadProgramSection(doc, program, sorter, machine);
  (void)doc.sectionNames();
  (void)doc.keyNames("options");

  // A save followed by a load gives back what was saved.
  const SorterSettings saved = sorter;
  WriteProgramSection(doc, 3, saved, machine);
  const IniDocument back = IniDocument::parse(doc.serialize());
  SorterSettings loaded;
  MachineSettings loadedMachine;
  ReadProgramSection(back, 3, loaded, loadedMachine);
  // Line breaks and NUL cannot be stored inside a value; they come back as blanks.
  const bool storable = saved.Regulator.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
  if (loaded.FonMin != saved.FonMin || loaded.ifFast != saved.ifFast ||
      (storable && loaded.Regulator != saved.Regulator) || loadedMachine.EGB_Max != machine.EGB_Max) {
    std::abort();
  }
  return 0;
}
