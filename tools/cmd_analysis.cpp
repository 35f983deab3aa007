// Offline analysis for engineers: the research run over a test picture and the emulation run, with
// the settings of a settings file or the defaults. Pictures are read row by row and only as far as
// the run uses them, so a huge file cannot exhaust memory.

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "engine/bmp_row_reader.h"
#include "engine/emulation_run.h"
#include "engine/research.h"
#include "tools/offline_sorter.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kResearchUsage =
    "research PICTURE.bmp OUT.bmp [SETTINGS.ini [PROGRAM]]   label the objects: XMin FirstLine XMax LastLine "
    "WidthMean LengthMean";
constexpr const char* kEmulateUsage =
    "emulate PICTURE.bmp [SETTINGS.ini [PROGRAM]]   emulation run; prints the current objects dump";

// Research pictures are held twice (source and labelled copy); taller ones are refused.
constexpr int kResearchMaxRows = 8192;
// Research feeds picture columns 1.. to line pixels 1..; columns past the line buffer are never used.
constexpr int kResearchColumns = kLineBufferPixels + 1;

// The top left columns x rows of a picture, read row by row: a huge file costs only what is used.
BmpImage readPictureArea(BmpRowReader& reader, int columns, int rows) {
  BmpImage area(columns, rows);
  for (int y = 0; y < rows; ++y) {
    const std::span<const std::uint8_t> row = reader.row(y);
    for (int x = 0; x < columns; ++x) area.set(x, y, {row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  return area;
}

int researchCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() < 2 || args.size() > 4) throw UsageError(std::string("usage: ") + kResearchUsage);
  const std::unique_ptr<OfflineSorter> s = loadOfflineSorter(args, 2, "research", io);
  if (!s) return 1;
  BmpRowReader reader(args[0], kResearchColumns);
  if (reader.height() > kResearchMaxRows) {
    io.err << "tolvane-tool research: " << args[0] << " has " << reader.height()
           << " rows; research reads at most " << kResearchMaxRows << ", cut the picture into parts\n";
    return 1;
  }
  if (reader.width() > reader.columns()) {
    io.err << "tolvane-tool research: columns from " << reader.columns()
           << " on are never analysed and are left out of " << args[1] << '\n';
  }
  const BmpImage picture = readPictureArea(reader, reader.columns(), reader.height());
  const ResearchResult result = runResearch(*s->state, *s->camera1, s->sorter, s->machine, picture);
  result.output.save(args[1]);
  for (const ResearchLabel& l : result.labels) {
    io.out << l.xMin << ' ' << l.firstLine << ' ' << l.xMax << ' ' << l.lastLine << ' ' << l.widthMean << ' '
           << l.lengthMean << '\n';
  }
  return 0;
}

int emulateCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.empty() || args.size() > 3) throw UsageError(std::string("usage: ") + kEmulateUsage);
  const std::unique_ptr<OfflineSorter> s = loadOfflineSorter(args, 1, "emulate", io);
  if (!s) return 1;
  BmpRowReader reader(args[0], kEmulationMinWidth);
  if (reader.width() < kEmulationMinWidth || reader.height() < kEmulationMinHeight) {
    io.err << "tolvane-tool emulate: the emulation picture must be at least " << kEmulationMinWidth << " x "
           << kEmulationMinHeight << " pixels, this one is " << reader.width() << " x " << reader.height()
           << '\n';
    return 1;
  }
  // The emulation reads rows 1..199 and columns 1..1200 only.
  const BmpImage picture = readPictureArea(reader, kEmulationMinWidth, kEmulationMinHeight);
  runEmulation(*s->state, *s->camera1, *s->camera2, s->sorter, s->machine, picture);
  for (const std::string& line : currentObjectsDump(*s->state)) io.out << line << '\n';
  return 0;
}

TOLVANE_TOOL_COMMAND("research", kResearchUsage, researchCommand);
TOLVANE_TOOL_COMMAND("emulate", kEmulateUsage, emulateCommand);

}  // namespace
}  // namespace tolvane::tool
