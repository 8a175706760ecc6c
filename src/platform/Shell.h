#pragma once

#include <QString>

#include <functional>

// What code without widgets needs of the application object and of the
// running program: requesting termination and knowing where the executable
// lies. The application object registers itself here.
namespace Shell {

void requestTerminate();
bool terminateRequested();
void setTerminateHandler(std::function<void()> handler);
// Forgets a request (tests run several start-ups in one process).
void resetTerminateRequest();

// Directory of the running executable, without a trailing "/".
QString executableDirectory();
QString executablePath();
// Tests place the "executable" in a folder of their own.
void overrideExecutableDirectory(const QString& dir);

// True when this user may create files in dir. Root passes every permission
// check, so a folder whose mode grants nobody write access counts as not
// writable for root too: its owner meant it to stay as it is.
bool isWritableDirectory(const QString& dir);

} // namespace Shell
