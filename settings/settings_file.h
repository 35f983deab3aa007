#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/build_constants.h"
#include "settings/ini_file.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr std::string_view kOptionsSection = "options";

// "program" followed by the index in decimal: 0 gives "program0".
std::string programSectionName(int program);

// --- On a document (load once, save once) -------------------------------------------------------

// Writes EGA_Min ... EGB_Max to "options", then every key of program<program> in write order, ending
// with SectorCounts, Sector0 ..., Cam2SectorCounts, Cam2Sector0 .... Higher-numbered sector keys
// left from a longer list stay in the file. Throws std::out_of_range for a program outside 0 ... 9.
void WriteProgramSection(IniDocument& doc, int program, const SorterSettings& sorter,
                         const MachineSettings& machine);

// Reads every key of program<program> with its default (a missing section gives all defaults) and
// EGA_Min ... EGB_Max from "options". SingleChannel follows the last of OCR, OCG, OCB that is set,
// which alone stays set; with none set it keeps its value. BrightMode is forced on for a machine with
// single-tone cameras; colour cameras take the program's own value. Sector lines: SectorCounts lines
// Sector0 ...; missing or empty lines are skipped.
// Throws std::out_of_range for a program outside 0 ... 9.
void ReadProgramSection(const IniDocument& doc, int program, SorterSettings& sorter, MachineSettings& machine,
                        bool singleToneCamera = kSingleToneCamera);

// At start: ActiveProg (a value outside 0 ... 9 reads as 0), the calibration points (missing: n * 625)
// and ProgramName0 ... ProgramName8. The machine identifier is read from the file's bytes with
// readMachineId (the document does not see "path" lines as keys).
void ReadMachineSettings(const IniDocument& doc, MachineSettings& machine);

// ActiveProg and the calibration points, as written at the end of start-up, at closing and at every
// calibration step.
void writeMachineState(IniDocument& doc, const MachineSettings& machine);

// ProgramName0 ... ProgramName8, as written by the save button. A name that the file's code page
// cannot hold is not written (its stored name stays) and does not stop the others; returns the
// indices of such names.
std::vector<int> writeProgramNames(IniDocument& doc, const MachineSettings& machine);

// The machine identifier from the text of a settings file: for every line whose first four bytes are
// "path", the text between the first double quote after them and the next one (or the line's end);
// empty when the line has no double quote. The last such line counts; without one, current is kept.
std::string readMachineId(std::string_view fileBytes, std::string current);

// --- On the file (each call reads the file once and replaces it at most once) -------------------

// Throws FileWriteError ("Unable to write to <file>"); the file is then unchanged.
void WriteProgramSection(const std::filesystem::path& file, int program, const SorterSettings& sorter,
                         const MachineSettings& machine);
void ReadProgramSection(const std::filesystem::path& file, int program, SorterSettings& sorter,
                        MachineSettings& machine, bool singleToneCamera = kSingleToneCamera);
// Also reads the machine identifier. A missing file reads every key's default and keeps the
// identifier; an unreadable one leaves every value as it is.
void ReadMachineSettings(const std::filesystem::path& file, MachineSettings& machine);
void writeMachineState(const std::filesystem::path& file, const MachineSettings& machine);
std::vector<int> writeProgramNames(const std::filesystem::path& file, const MachineSettings& machine);

}  // namespace tolvane
