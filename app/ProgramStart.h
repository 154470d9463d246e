#pragma once
// The start of the window program: its options, the program folder, and the program-wide
// objects working in that folder.

#include <memory>
#include <optional>

#include "app/Program.h"
#include "shell/ProgramFolder.h"

namespace migracja::app {

// Reads the options before the application object exists, so that --help, --version and bad
// usage need no display. Returns the exit status when the program ends here.
std::optional<int> ReadStartOptions(int argc, char** argv, shell::StartOptions& options);

// The user's configuration file that remembers the folder of an installed program.
std::filesystem::path RememberedFolderFile();

// The program folder of these options for the running executable; nullopt when the user cancels
// the folder dialog. Needs the application object.
std::optional<shell::ProgramFolder> ChooseProgramFolder(const shell::StartOptions& options);

// The program-wide objects working in that folder, the main window shown with its caption.
std::unique_ptr<TProgram> StartProgram(const shell::ProgramFolder& folder);

}  // namespace migracja::app
