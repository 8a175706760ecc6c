#include "cli/CliSession.h"

#include "cli/Command.h"
#include "data/UserDMUnit.h"
#include "login/LoginCheck.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Shell.h"
#include "platform/db/Query.h"
#include "services/userGlobal.h"

#include <QFileInfo>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

CliDataModule::CliDataModule(DialogSeam& dialogs) : previous_(Dialogs::install(&dialogs))
{
    UserDM = &dm;
}

CliDataModule::~CliDataModule()
{
    UserDM = nullptr;
    Dialogs::install(previous_);
}

QString readCliPassword(bool fromStdin)
{
    std::string line;
    if (fromStdin) {
        std::getline(std::cin, line);
    } else if (isatty(STDIN_FILENO)) {
        std::fputs("Password: ", stderr);
        termios old {};
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        std::getline(std::cin, line);
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputs("\n", stderr);
    } else {
        throw CliUsageError(QStringLiteral("没有终端可以输入密码，请用 --password-stdin 从标准输入给出密码。"));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

bool connectCliDatabase(const QCommandLineParser& opts, TUserDM& dm)
{
    if (opts.isSet(QStringLiteral("db"))) {
        const QString file = QFileInfo(opts.value(QStringLiteral("db"))).absoluteFilePath();
        TSetValue.ConnectOption = 1;
        TSetValue.DbFileName = file;
        dm.ConnectionString = TUserDM::localConnectionString(file);
    } else {
        if (opts.isSet(QStringLiteral("settings-dir")))
            Shell::overrideExecutableDirectory(QFileInfo(opts.value(QStringLiteral("settings-dir"))).absoluteFilePath());
        TSetValue.AppPath = Shell::executableDirectory();
        if (!QFileInfo::exists(TUserDM::settingsPath())) {
            cliError(QStringLiteral("找不到设置文件「%1」。").arg(TUserDM::settingsPath()));
            return false;
        }
        dm.ReadConnectSettings();
    }
    try {
        dm.ADOConnection1.setConnected(false);
        dm.ADOConnection1.setConnectionString(dm.ConnectionString);
        dm.ADOConnection1.setConnected(true);
    } catch (const std::exception& e) {
        cliError(QStringLiteral("连接数据库失败: %1").arg(errorText(e)));
        return false;
    }
    return true;
}

bool logInCli(const QCommandLineParser& opts)
{
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral("Select Count(*) As UserCount From Sys_User "));
    q.open();
    const bool needUser = q.fieldInteger(QStringLiteral("UserCount")) != 0;
    q.close();
    QString user, password;
    if (needUser) {
        if (!opts.isSet(QStringLiteral("user")))
            throw CliUsageError(QStringLiteral("这个数据库有用户，请用 --user 给出登录工号。"));
        user = opts.value(QStringLiteral("user"));
        password = readCliPassword(opts.isSet(QStringLiteral("password-stdin")));
    }
    return CheckLogin(user, password) == LoginOutcome::Accepted;
}

int runReportingErrors(int (*run)(const QCommandLineParser&), const QCommandLineParser& opts)
{
    try {
        return run(opts);
    } catch (const CliUsageError&) {
        throw;
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return CliFailed;
    }
}
