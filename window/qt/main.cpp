// ORVA: creates and shows the main window, opening the database named on the
// command line if there is one; closing the window ends the program.
//   orva [FILE]    orva --help    orva --version
#include "window/qt/start_up.h"

int main(int argc, char** argv) { return orva::RunWindowProgram(argc, argv); }
