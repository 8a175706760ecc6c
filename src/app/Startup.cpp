#include "app/Startup.h"

#include "platform/gui/Application.h"

int runProgram(int& argc, char** argv)
{
    Application app(argc, argv);
    app.Initialize();
    app.setTitle(QString::fromUtf8("Ostrel数据导入管理"));
    return 0;
}
