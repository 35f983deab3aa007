// Makes the preset pictures from the pages themselves: a main window over simulated hardware in a
// temporary folder, each preset applied in turn, the colour-range page (ZAWOD1 … ZAWOD8) and the
// sorting-conditions page (USL1 … USL3) grabbed, scaled to the preset window's picture box and stored
// as JPEG in a C++ source file that the program is built with.
//
//   make-preset-pictures OUTPUT.cpp [JPEG_FOLDER]
//
// With JPEG_FOLDER the pictures are also written there as files, to look at.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/main_window.h"
#include "app/page_one_chanal.h"
#include "app/page_work.h"
#include "app/type_set_form.h"
#include "platform/program_launcher.h"
#include "service/jpeg_picture.h"
#include "settings/atomic_file.h"

namespace tolvane {
namespace {

struct PictureJob {
  const char* name;
  std::size_t preset;  // 0-based
  bool conditionsPage;
};

// Each ZAWODn shows preset n; USL1 the weight presets, USL2 the colour-and-shape presets, USL3 line mode.
constexpr PictureJob kJobs[] = {
    {"ZAWOD1", 0, false}, {"ZAWOD2", 1, false}, {"ZAWOD3", 2, false}, {"ZAWOD4", 3, false},
    {"ZAWOD5", 4, false}, {"ZAWOD6", 5, false}, {"ZAWOD7", 6, false}, {"ZAWOD8", 7, false},
    {"USL1", 0, true},    {"USL2", 2, true},    {"USL3", 8, true},
};

constexpr int kJpegQuality = 90;

Rgb24Canvas canvasOf(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  Rgb24Canvas canvas(rgb.width(), rgb.height());
  for (int y = 0; y < rgb.height(); ++y) {
    std::copy_n(rgb.constScanLine(y), static_cast<std::size_t>(rgb.width()) * 3,
                canvas.data() + y * canvas.stride());
  }
  return canvas;
}

std::string sourceFile(const std::vector<std::pair<std::string, std::string>>& pictures) {
  std::ostringstream out;
  out << "// Made by make-preset-pictures when the program is built; do not edit.\n"
         "#include \"pictures/preset_pictures.h\"\n\n#include <array>\n\nnamespace tolvane {\nnamespace "
         "{\n\n";
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    out << "constexpr unsigned char kPicture" << i << "[] = {";
    const std::string& bytes = pictures[i].second;
    for (std::size_t b = 0; b < bytes.size(); ++b) {
      if (b % 24 == 0) out << "\n";
      out << static_cast<unsigned>(static_cast<unsigned char>(bytes[b])) << ",";
    }
    out << "\n};\n";
  }
  out << "\nstruct Entry {\n  std::string_view name;\n  const unsigned char* bytes;\n  std::size_t "
         "size;\n};\n"
         "constexpr std::array<Entry, "
      << pictures.size() << "> kEntries = {{\n";
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    out << "    {\"" << pictures[i].first << "\", kPicture" << i << ", sizeof(kPicture" << i << ")},\n";
  }
  out << "}};\n\n}  // namespace\n\n"
         "std::span<const std::byte> presetPictureBytes(std::string_view name) {\n"
         "  for (const Entry& e : kEntries) {\n"
         "    if (e.name == name) return std::as_bytes(std::span(e.bytes, e.size));\n"
         "  }\n  return {};\n}\n\n}  // namespace tolvane\n";
  return out.str();
}

int run(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make-preset-pictures OUTPUT.cpp [JPEG_FOLDER]\n");
    return 2;
  }
  QTemporaryDir folder;
  if (!folder.isValid()) {
    std::fprintf(stderr, "make-preset-pictures: no temporary folder\n");
    return 1;
  }
  // A single-tone machine on simulated hardware that never starts another program.
  RecordingProgramLauncher launcher;
  MachineParts parts =
      simulatedMachineParts(std::filesystem::path(folder.path().toStdString()) / "TolvaneGrain",
                            /*singleToneCamera=*/true);
  parts.launcher = &launcher;
  parts.threadOptions.applyScheduling = false;
  parts.setRunPriority = [](int) {};
  parts.networkPresent = [] { return true; };
  TmForm form(std::make_unique<Machine>(std::move(parts)));
  form.setDialogs([](const QString&, const QString&) { return false; }, [](const QString&) {});
  form.show();
  QApplication::processEvents();

  std::vector<std::pair<std::string, std::string>> pictures;
  for (const PictureJob& job : kJobs) {
    form.applyPreset(job.preset);
    QWidget* page = job.conditionsPage ? static_cast<QWidget*>(form.tabWork()) : form.tabOneChanal();
    form.showPage(page);
    QApplication::processEvents();
    const QImage shot = page->grab().toImage().scaled(TTypeSetForm::kPictureBox, Qt::KeepAspectRatio,
                                                      Qt::SmoothTransformation);
    std::string jpeg = encodeJpeg(canvasOf(shot), kJpegQuality);
    if (jpeg.empty()) {
      std::fprintf(stderr, "make-preset-pictures: %s could not be encoded\n", job.name);
      return 1;
    }
    if (argc == 3) {
      QDir().mkpath(QString::fromLocal8Bit(argv[2]));
      writeFileAtomically(std::filesystem::path(argv[2]) / (std::string(job.name) + ".jpg"), jpeg);
    }
    pictures.emplace_back(job.name, std::move(jpeg));
  }
  writeFileAtomically(argv[1], sourceFile(pictures));
  return 0;
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    return tolvane::run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make-preset-pictures: %s\n", error.what());
    return 1;
  }
}
