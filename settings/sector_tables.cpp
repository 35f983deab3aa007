#include "settings/sector_tables.h"

namespace tolvane {

namespace {

int32_t middleOf(int32_t low, int32_t high) {
  return static_cast<int32_t>(int64_t{low} + (int64_t{high} - int64_t{low}) / 2);
}

}  // namespace

SectorTablesBuild buildSectorTables(const SorterSettings& settings, bool singleToneCamera,
                                    const HsvToRgbFunction& hsvToRgb) {
  SectorTablesBuild build;
  for (int camera = 0; camera < kSectorCameraCount; ++camera) {
    const auto& lines = settings.Sectors[static_cast<std::size_t>(camera)];
    SectorTables& tables = build.tables[static_cast<std::size_t>(camera)];
    for (std::size_t index = 0; index < lines.size(); ++index) {
      std::string error;
      const std::optional<ColorSector> sector = parseSectorLine(lines[index], &error);
      if (!sector) {
        build.badLines.push_back({camera, index, lines[index], error});
        continue;
      }
      if (!sector->Active) {
        continue;
      }
      switch (sector->Type) {
        case kSectorBackground:
          tables.background.push_back(*sector);
          break;
        case kSectorRed:
          tables.red.push_back(*sector);
          break;
        case kSectorBlue:
          tables.blue.push_back(*sector);
          break;
        default:
          break;
      }
    }
    if (tables.background.empty()) {
      continue;
    }
    if (singleToneCamera) {
      const bool dark = 255 - int64_t{settings.FonLight[0]} < int64_t{settings.FonBlack[0]};
      build.BackgroundFill = dark ? FillColour{0, 0, 0} : FillColour{255, 255, 255};
    } else if (hsvToRgb) {
      const ColorSector& last = tables.background.back();
      build.BackgroundFill = hsvToRgb(middleOf(last.HMIN, last.HMAX), middleOf(last.SMIN, last.SMAX),
                                      middleOf(last.VMIN, last.VMAX));
    }
  }
  return build;
}

std::vector<BadSectorLine> rebuildSectorTables(const SorterSettings& settings, bool singleToneCamera,
                                               const HsvToRgbFunction& hsvToRgb,
                                               std::array<SectorTables, kSectorCameraCount>& tables,
                                               FillColour& backgroundFill) {
  SectorTablesBuild build = buildSectorTables(settings, singleToneCamera, hsvToRgb);
  tables = std::move(build.tables);
  if (build.BackgroundFill) {
    backgroundFill = *build.BackgroundFill;
  }
  return std::move(build.badLines);
}

std::string describeBadSectorLines(const std::vector<BadSectorLine>& badLines) {
  std::string text;
  for (const BadSectorLine& bad : badLines) {
    text += (bad.camera == 0 ? "Sector" : "Cam2Sector") + std::to_string(bad.index) + ": " + bad.error + "\n";
  }
  return text;
}

}  // namespace tolvane
