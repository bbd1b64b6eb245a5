#pragma once

// Creates the three windows in their order and runs the event loop; returns the exit code.
int runMediatar(int argc, char* argv[]);
