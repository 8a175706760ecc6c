#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"

#include <QString>

#include <functional>

// The data module: the one connection and the shared query for the whole
// run, and the start-up connection from MyConnect.ini.
class TUserDM {
public:
    TUserDM();
    ~TUserDM();

    Connection ADOConnection1;
    Query QryFree;
    QString ConnectionString;

    // Creation handler: settings, connection string, connection (with the
    // settings dialog and one more attempt when the first one fails).
    void DataModuleCreate();
    void ReadConnectSettings();

    // The Jet provider string of mode 1 for a database file.
    static QString localConnectionString(const QString& fileName);

    // MyConnect.ini of the program in appPath: beside it when it is there
    // or the folder is writable (a portable copy), else the user's own
    // ~/.config/Ostrel/MyConnect.ini (the folder of an installed program
    // belongs to root). Reads and writes both go there.
    static QString settingsPathFor(const QString& appPath);
    // The same for the running executable.
    static QString settingsPath();
    // Data/Wage.VRD beside the program when its Data folder is writable,
    // else ~/.local/share/Ostrel/Data/Wage.VRD. Nothing is created.
    static QString defaultDbPathFor(const QString& appPath);
};

// The data module of the running program (null before it is created).
extern TUserDM* UserDM;

// The settings dialog, reached through a hook so that code without widgets
// can call it; the program installs the real dialog. Returns true when saved.
using ShowSetConfigHook = std::function<bool()>;
void setShowSetConfigHook(ShowSetConfigHook hook);
bool callShowSetConfig();
