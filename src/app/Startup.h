#pragma once

class Application;
class TWorkerInfoImaportFrm;

// The import window of the running program (null until the login succeeded).
extern TWorkerInfoImaportFrm* WorkerInfoImaportFrm;

// The start-up sequence on an initialised, titled application object: data
// module, login, import window and its message loop, then the end. Returns
// true when the import window was created.
bool RunStartupSequence(Application& app);

// The program's entry: returns the process exit code (always 0).
int runProgram(int& argc, char** argv);
