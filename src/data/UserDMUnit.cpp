#include "data/UserDMUnit.h"

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/db/ConnectionString.h"
#include "services/userGlobal.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

TUserDM* UserDM = nullptr;

namespace {
ShowSetConfigHook g_showSetConfig;
} // namespace

void setShowSetConfigHook(ShowSetConfigHook hook)
{
    g_showSetConfig = std::move(hook);
}

bool callShowSetConfig()
{
    return g_showSetConfig ? g_showSetConfig() : false;
}

TUserDM::TUserDM()
    : QryFree(ADOConnection1)
{
}

TUserDM::~TUserDM() = default;

QString TUserDM::settingsPathFor(const QString& appPath)
{
    const QString beside = appPath + QStringLiteral("/MyConnect.ini");
    if (QFileInfo::exists(beside) || Shell::isWritableDirectory(appPath))
        return beside;
    // Made here so that the first write, whoever does it, finds its folder.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Ostrel");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/MyConnect.ini");
}

QString TUserDM::settingsPath()
{
    return settingsPathFor(Shell::executableDirectory());
}

QString TUserDM::defaultDbPathFor(const QString& appPath)
{
    // A Data folder still to be made counts as writable when its parent is.
    const QString data = appPath + QStringLiteral("/Data");
    const bool writable = QFileInfo(data).isDir() ? Shell::isWritableDirectory(data)
                                                  : Shell::isWritableDirectory(appPath);
    const QString folder = writable
        ? data
        : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Ostrel/Data");
    return folder + u'/' + DefaultDbFileName;
}

void TUserDM::DataModuleCreate()
{
    QString appPath = Shell::executableDirectory();
    if (appPath.endsWith(u'/'))
        appPath.chop(1);
    TSetValue.AppPath = appPath;

    const auto attempt = [this] {
        ReadConnectSettings();
        ADOConnection1.setConnected(false);
        ADOConnection1.setConnectionString(ConnectionString);
        ADOConnection1.setConnected(true);
    };

    try {
        attempt();
        return;
    } catch (...) {
        // Whatever went wrong, the user gets the same warning.
    }
    Dialogs::messageBox(QStringLiteral("连接数据库失败,请检查网络是否联通、网络驱动器映象是否正确！"),
                        QStringLiteral("警告"), MsgIcon::None);
    if (callShowSetConfig())
        attempt();  // a second failure goes to the caller
}

QString TUserDM::localConnectionString(const QString& fileName)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=")
        + quoteProviderValue(fileName)
        + QStringLiteral(";Mode=ReadWrite;Extended Properties=\"\";")
        + QStringLiteral("Jet OLEDB:System database=\"\";")
        + QStringLiteral("Jet OLEDB:Registry Path=\"\";")
        + QStringLiteral("Jet OLEDB:Database Password='mint7305mint#%)' ;")
        + QStringLiteral("Jet OLEDB:Engine Type=5;")
        + QStringLiteral("Jet OLEDB:Database Locking Mode=1;")
        + QStringLiteral("Jet OLEDB:Global Partial Bulk Ops=2;")
        + QStringLiteral("Jet OLEDB:Global Bulk Transactions=1;")
        + QStringLiteral("Jet OLEDB:New Database Password=\"\";")
        + QStringLiteral("Jet OLEDB:Create System Database=False;")
        + QStringLiteral("Jet OLEDB:Encrypt Database=False;")
        + QStringLiteral("Jet OLEDB:Don't Copy Locale on Compact=False;")
        + QStringLiteral("Jet OLEDB:Compact Without Replica Repair=False;")
        + QStringLiteral("Jet OLEDB:SFP=False");
}

void TUserDM::ReadConnectSettings()
{
    // "\MyConnect.Ini" of the reader and "\MyConnect.ini" of the dialog are
    // one file here.
    const QString path = settingsPathFor(TSetValue.AppPath);
    if (!QFileInfo(path).isFile())
        callShowSetConfig();
    if (!QFileInfo(path).isFile())
        Shell::requestTerminate();  // takes effect later; carry on with defaults

    IniFile ini(path);
    TSetValue.DbPost = ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DbPost"), QStringLiteral("1"));
    TSetValue.ConnectOption = ini.readInteger(QStringLiteral("Connect"), QStringLiteral("ConnectOption"), 1);

    // Values that hold ";", a quote or outer blanks are quoted, or they would
    // end early or rewrite other keys; all else goes in as it stands.
    if (TSetValue.ConnectOption == 1) {
        TSetValue.DbFileName = ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString());
        if (TSetValue.DbFileName.isEmpty()) {
            TSetValue.DbFileName = defaultDbPathFor(TSetValue.AppPath);
            ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), TSetValue.DbFileName);
        }
        ConnectionString = localConnectionString(TSetValue.DbFileName);
    } else {
        const QString password = ini.readString(QStringLiteral("DataBase"), QStringLiteral("Password"), QString());
        const QString user = ini.readString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QStringLiteral("sa"));
        const QString catalogue = ini.readString(QStringLiteral("DataBase"), QStringLiteral("DataBaseName"), QString());
        const QString server = ini.readString(QStringLiteral("DataBase"), QStringLiteral("ServerName"), QString());
        ConnectionString = QStringLiteral("Provider=SQLOLEDB.1;Password=") + quoteProviderValue(password)
        + QStringLiteral(";Persist Security Info=True;User ID=") + quoteProviderValue(user)
        + QStringLiteral(";Initial Catalog=") + quoteProviderValue(catalogue)
        + QStringLiteral(";Data Source=") + quoteProviderValue(server);
        ADOConnection1.setDefaultDatabase(catalogue);
    }

    // Our own keys for the ODBC side of the server provider.
    QString driver = ini.readString(QStringLiteral("DataBase"), QStringLiteral("Driver"), QStringLiteral("FreeTDS"));
    if (driver.trimmed().isEmpty())
        driver = QStringLiteral("FreeTDS");
    ADOConnection1.setOdbcDriver(driver);
    ADOConnection1.setOdbcOptions(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Options"), QString()));
}
