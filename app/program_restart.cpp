#include "app/program_restart.h"

#include <QCoreApplication>

namespace tolvane {

bool restartProgram(ProgramLauncher& launcher) {
  const std::filesystem::path file = runningProgramFile();
  return restartProgram(launcher, file, file.parent_path());
}

bool restartProgram(ProgramLauncher& launcher, const std::filesystem::path& programFile,
                    const std::filesystem::path& workingFolder) {
  if (!launcher.start(programFile, workingFolder).ok()) return false;
  // exit() rather than quit(): quit() would ask every window to close first.
  QCoreApplication::exit(0);
  return true;
}

}  // namespace tolvane
