#include "settings/sector_tables.h"

namespace tolvane {

FillColour singleToneBackgroundFill(const SorterSettings& settings) {
  const bool dark = 255 - int64_t{settings.FonLight[0]} < int64_t{settings.FonBlack[0]};
  return dark ? FillColour{0, 0, 0} : FillColour{255, 255, 255};
}

int32_t sectorRangeMiddle(int32_t lower, int32_t upper) {
  return static_cast<int32_t>(int64_t{lower} + (int64_t{upper} - int64_t{lower}) / 2);
}

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
    if (!singleToneCamera && hsvToRgb && !tables.background.empty()) {
      const ColorSector& last = tables.background.back();
      build.BackgroundFill =
          hsvToRgb(sectorRangeMiddle(last.HMIN, last.HMAX), sectorRangeMiddle(last.SMIN, last.SMAX),
                   sectorRangeMiddle(last.VMIN, last.VMAX));
    }
  }
  // Without a background sector the fill must still be the plate's: a black picture on a light plate
  // would count its empty half as product.
  if (singleToneCamera) build.BackgroundFill = singleToneBackgroundFill(settings);
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
