#include "app/Startup.h"

#include "data/SetConfig.h"
#include "data/UserDMUnit.h"
#include "import/WorkerInfoImaport.h"
#include "login/LoginWinUnit.h"
#include "platform/DateFormats.h"
#include "platform/gui/Application.h"
#include "platform/gui/QtDialogs.h"

TWorkerInfoImaportFrm* WorkerInfoImaportFrm = nullptr;

bool RunStartupSequence(Application& app)
{
    UserDM = new TUserDM;
    app.runCreationHandler([] { UserDM->DataModuleCreate(); });

    bool created = false;
    bool loggedIn = false;
    app.runCreationHandler([&loggedIn] { loggedIn = ShowLogin(); });
    if (loggedIn) {
        WorkerInfoImaportFrm = new TWorkerInfoImaportFrm;
        app.registerForm(WorkerInfoImaportFrm);
        created = true;
        app.Run();
    } else {
        app.Terminate();
    }

    delete WorkerInfoImaportFrm;
    WorkerInfoImaportFrm = nullptr;
    delete UserDM;
    UserDM = nullptr;
    return created;
}

int runProgram(int& argc, char** argv)
{
    Application app(argc, argv);
    // The format the restart rule judges is the one this instance starts with.
    DateFormats::captureStartupFormat();
    app.Initialize();
    app.setTitle(QStringLiteral("Ostrel数据导入管理"));
    QtDialogs dialogs;
    Dialogs::install(&dialogs);
    setShowSetConfigHook(&ShowSetConfig);

    RunStartupSequence(app);
    return 0;
}
