#pragma once

// The program's start-up sequence: data module, login, import window, loop.
// Returns the process exit code (always 0).
int runProgram(int& argc, char** argv);
