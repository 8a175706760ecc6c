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

    // Path of MyConnect.ini beside the executable.
    static QString settingsPath();
};

// The data module of the running program (null before it is created).
extern TUserDM* UserDM;

// The settings dialog, reached through a hook so that code without widgets
// can call it; the program installs the real dialog. Returns true when saved.
using ShowSetConfigHook = std::function<bool()>;
void setShowSetConfigHook(ShowSetConfigHook hook);
bool callShowSetConfig();
