#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/bmp_image.h"
#include "engine/engine_state.h"

namespace tolvane {

// Files the service page writes into the program folder.
inline constexpr const char* kBufferDumpName = "bufer.txt";
inline constexpr const char* kCurrentObjectsName = "CurObjects.txt";

// The research run reads whole pictures into memory, twice (source and labelled copy); it uses
// columns 1..4096 only and a line capture has 4000 rows, so larger pictures are refused rather than
// letting a damaged or foreign file take gigabytes.
inline constexpr int kResearchMaxWidth = kLineBufferPixels + 1;
inline constexpr int kResearchMaxHeight = 4096;

// What the object buffer dump shows of one record.
struct BufferDumpEntry {
  bool open = false;
  bool inUse = false;
  bool done = false;
  std::int32_t camera = 0;
  std::int32_t good = 0;  // the int32 at record offset 64
  std::int32_t verdict = 0;
  std::int32_t dueAt = 0;
  std::int32_t mass = 0;
};

// Records the buffer dump covers: 1..maxObject, kept inside the table.
int bufferDumpRecords(std::int32_t maxObject);

// Copies records 1..out.size() into out (out sized by the caller beforehand, so nothing is allocated
// while the lock is held).
// Called on the main thread under the engine lock.
void copyBufferDump(const EngineState& state, std::span<BufferDumpEntry> out);

// "bufer.txt": "время " + line counter, an empty line, then nine lines per record.
std::vector<std::string> bufferDumpLines(std::int64_t lineCounter, std::span<const BufferDumpEntry> records);

// Lines joined with CR LF after each line (an empty list gives an empty file).
std::string crlfText(const std::vector<std::string>& lines);

// Replaces folder/name crash-safely with the lines. Returns nothing on success, else the operator's
// message "Не удалось записать файл <name>".
std::optional<std::string> writeServiceText(const std::filesystem::path& folder, const std::string& name,
                                            const std::vector<std::string>& lines);

// The line capture's file name: the time of day with ":" as "_" ("14_05_33.bmp").
std::string captureFileName(std::time_t when);
// "Файл 14_05_33.bmp сохранен".
std::string captureSavedMessage(const std::string& fileName);

// The strip capture's rows (R, G, B, width pixels each) as a picture.
BmpImage stripPicture(const std::uint8_t* rows, int width, int height);

// Width and height from a bitmap file's header, without reading its pixels; nullopt when the file
// cannot be opened or does not start like a bitmap (the full read then says why).
struct BmpHeaderSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};
std::optional<BmpHeaderSize> peekBmpSize(const std::filesystem::path& path);

// Why "test.bmp" in folder cannot be used for the research run, as the operator's message; nothing
// when it can be read. Checks presence and size before any pixel is read.
std::optional<std::string> researchPictureProblem(const std::filesystem::path& folder);

}  // namespace tolvane
