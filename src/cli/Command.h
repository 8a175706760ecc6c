#pragma once

#include "platform/Errors.h"

#include <QCommandLineParser>
#include <QStringList>

#include <functional>
#include <vector>

// Each command of ostrel-import-cli registers itself from its own file: its
// name, its synopsis, a line for the tool's help, the options and arguments
// it takes (each with the description --help prints) and what it does with
// them. run returns the process exit status.
struct CliCommand {
    const char* name;
    const char* synopsis; // after "ostrel-import-cli "
    const char* summary;
    std::function<void(QCommandLineParser&)> declare;
    std::function<int(const QCommandLineParser&)> run;
};

struct CliCommandRegistrar {
    explicit CliCommandRegistrar(CliCommand command);
};

const std::vector<CliCommand>& cliCommands();

// Prints to standard error / standard output (UTF-8).
void cliError(const QString& text);
void cliOut(const QString& text);

// Exit statuses of every command (the manual page lists them).
enum CliExit {
    CliAllDone = 0,       // everything imported (or done)
    CliFailed = 1,        // refused or failed
    CliUsage = 2,         // a wrong command line
    CliSomeNotDone = 3,   // some rows not imported (or, for a check, that would not be)
};

// A wrong command line: the command prints it with its usage, exit status 2.
class CliUsageError : public Error {
public:
    using Error::Error;
};

// The whole tool: the exit status for these arguments (without the program).
int cliMain(const QStringList& args);
