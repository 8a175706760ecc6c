#pragma once

#include "platform/Errors.h"

#include <QStringList>

#include <QMap>

#include <functional>
#include <vector>

// Each command of ostrel-import-cli registers itself from its own file.
// A command gets its arguments (without the command name) and returns the
// process exit code.
struct CliCommand {
    const char* name;
    const char* usage;   // one line, after "ostrel-import-cli "
    std::function<int(const QStringList& args)> run;
};

struct CliCommandRegistrar {
    explicit CliCommandRegistrar(CliCommand command);
};

const std::vector<CliCommand>& cliCommands();

// Prints to standard error / standard output (UTF-8).
void cliError(const QString& text);
void cliOut(const QString& text);

// A wrong command line: the command prints it with its usage, exit status 2.
class CliUsageError : public Error {
public:
    using Error::Error;
};

// A tiny option reader: "--name value" and "--flag". Unknown options and
// missing values raise CliUsageError.
class CliOptions {
public:
    CliOptions(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);
    bool has(const QString& name) const;
    QString value(const QString& name) const;
    QStringList positional() const { return positional_; }

private:
    QMap<QString, QString> values_;
    QStringList flags_;
    QStringList positional_;
};
