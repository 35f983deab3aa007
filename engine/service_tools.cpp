#include "engine/service_tools.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "engine/research.h"
#include "settings/atomic_file.h"

namespace tolvane {

namespace {

const char* yesNo(bool value) { return value ? "true" : "false"; }

}  // namespace

int bufferDumpRecords(std::int32_t maxObject) { return std::clamp(maxObject, 0, kObjectTableSize); }

void copyBufferDump(const EngineState& state, std::span<BufferDumpEntry> out) {
  const std::size_t count = std::min(out.size(), static_cast<std::size_t>(kObjectTableSize));
  for (std::size_t i = 0; i < count; ++i) {
    const ObjectRecord& rec = state.ObjectTable[i + 1];
    out[i] = {rec.Open != 0,  rec.InUse != 0, rec.Done != 0, rec.Camera,
              rec.reserved64, rec.Verdict,    rec.DueAt,     rec.Mass};
  }
}

std::vector<std::string> bufferDumpLines(std::int64_t lineCounter, std::span<const BufferDumpEntry> records) {
  std::vector<std::string> lines;
  lines.reserve(2 + records.size() * 9);
  lines.push_back("время " + std::to_string(lineCounter));
  lines.emplace_back();
  int k = 0;
  for (const BufferDumpEntry& e : records) {
    lines.push_back("========> Объект " + std::to_string(++k));
    lines.push_back(std::string("actived ") + yesNo(e.open));
    lines.push_back(std::string("ok ") + yesNo(e.inUse));
    lines.push_back(std::string("isFree ") + yesNo(e.done));
    lines.push_back("cam " + std::to_string(e.camera));
    lines.push_back("good " + std::to_string(e.good));
    lines.push_back("sort " + std::to_string(e.verdict));
    lines.push_back("TimeToShot " + std::to_string(e.dueAt));
    lines.push_back("ves " + std::to_string(e.mass));
  }
  return lines;
}

std::string crlfText(const std::vector<std::string>& lines) {
  std::string text;
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::optional<std::string> writeServiceText(const std::filesystem::path& folder, const std::string& name,
                                            const std::vector<std::string>& lines) {
  try {
    writeFileAtomically(folder / name, crlfText(lines));
  } catch (const std::exception&) {
    return "Не удалось записать файл " + name;
  }
  return std::nullopt;
}

std::string captureFileName(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d_%02d_%02d.bmp", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string captureSavedMessage(const std::string& fileName) { return "Файл " + fileName + " сохранен"; }

BmpImage stripPicture(const std::uint8_t* rows, int width, int height) {
  BmpImage picture(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = rows + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
    for (int x = 0; x < width; ++x) picture.set(x, y, {row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  return picture;
}

std::optional<BmpHeaderSize> peekBmpSize(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::array<unsigned char, 26> head{};
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  if (in.gcount() < static_cast<std::streamsize>(head.size()) || head[0] != 'B' || head[1] != 'M') {
    return std::nullopt;
  }
  auto u16 = [&head](std::size_t at) { return static_cast<std::uint32_t>(head[at] | head[at + 1] << 8); };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  BmpHeaderSize size;
  if (u32(14) == 12) {  // the old header with 16-bit sides
    size.width = u16(18);
    size.height = u16(20);
  } else {
    size.width = static_cast<std::int32_t>(u32(18));
    size.height = static_cast<std::int32_t>(u32(22));
  }
  if (size.height < 0) size.height = -size.height;  // top-down rows
  return size;
}

std::optional<std::string> researchPictureProblem(const std::filesystem::path& folder) {
  const std::filesystem::path path = folder / kResearchPictureName;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    return std::string("Нет файла ") + kResearchPictureName + " в папке программы";
  }
  const std::optional<BmpHeaderSize> size = peekBmpSize(path);
  if (size && (size->width > kResearchMaxWidth || size->height > kResearchMaxHeight)) {
    return std::string("Рисунок ") + kResearchPictureName + " слишком велик: " + std::to_string(size->width) +
           " x " + std::to_string(size->height) + " (наибольший " + std::to_string(kResearchMaxWidth) +
           " x " + std::to_string(kResearchMaxHeight) + ")";
  }
  return std::nullopt;
}

}  // namespace tolvane
