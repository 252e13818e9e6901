#pragma once

// The program entry: program folder current, settings read, message catalog open, main window
// shown, start logged, then the window's events until the exit sequence ends the process.
int Main(int argc, char** argv);
