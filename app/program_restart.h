#pragma once

#include <filesystem>

#include "platform/program_launcher.h"

namespace tolvane {

// The restart of "Сброс|программы" and "ОТМЕНИТЬ|НАСТРОЙКИ": starts the program file again (no
// arguments, working folder = program folder) and makes the event loop return without closing any
// window, so the closing sequence (a close event) does not run. The windows are destroyed as the
// program entry returns, which still lets the window-state store write. The new instance waits 3 s
// before it touches cameras and boards.
//
// Returns false, and leaves the program running, when the new instance could not be started.
bool restartProgram(ProgramLauncher& launcher = systemProgramLauncher());
bool restartProgram(ProgramLauncher& launcher, const std::filesystem::path& programFile,
                    const std::filesystem::path& workingFolder);

}  // namespace tolvane
