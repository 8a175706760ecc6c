#pragma once

#include "data/UserDMUnit.h"

#include <QCommandLineParser>
#include <QString>

class DialogSeam;

// One command's run: its dialogs stand in for the window's and a data
// module serves the database routines; both go when it ends.
class CliDataModule {
public:
    explicit CliDataModule(DialogSeam& dialogs);
    ~CliDataModule();
    CliDataModule(const CliDataModule&) = delete;
    CliDataModule& operator=(const CliDataModule&) = delete;

private:
    DialogSeam* previous_; // before dm: the dialogs are in place while it is made

public:
    TUserDM dm;
};

// What the commands that work on the personnel database share: opening the
// database they name and logging in as the window does.

// The password: the first line of standard input with --password-stdin,
// else typed at the terminal without echo.
QString readCliPassword(bool fromStdin);
// Connects `dm` to --db FILE, or to what the settings file of
// --settings-dir (or of the program's folder) names. The reason goes to
// standard error and false comes back when it cannot.
bool connectCliDatabase(const QCommandLineParser& opts, TUserDM& dm);
// The window's login with --user and the password; no user needed while
// Sys_User is empty. False when refused (the reason is on standard error).
bool logInCli(const QCommandLineParser& opts);
// `run`, with any error but a usage error on standard error and exit 1.
int runReportingErrors(int (*run)(const QCommandLineParser&), const QCommandLineParser& opts);
