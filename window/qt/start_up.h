// Starts the window program: `orva [FILE]`, `orva --edit [FILE]` (the editor
// of every entry), `orva --help`, `orva --version`.
// Creates and shows the main window, opening FILE once it is shown, and runs
// until the window is closed. Without a display, or when Qt cannot start, it
// says why in one line and returns a failure status.
#pragma once

namespace orva {

int RunWindowProgram(int argc, char** argv);

}  // namespace orva
