#include "data/LocalDatabase.h"
#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/db/ConnectionString.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString WarningText = QStringLiteral("连接数据库失败,请检查网络是否联通、网络驱动器映象是否正确！");

const QString JetTail = QStringLiteral(
    ";Mode=ReadWrite;Extended Properties=\"\";"
    "Jet OLEDB:System database=\"\";"
    "Jet OLEDB:Registry Path=\"\";"
    "Jet OLEDB:Database Password='mint7305mint#%)' ;"
    "Jet OLEDB:Engine Type=5;"
    "Jet OLEDB:Database Locking Mode=1;"
    "Jet OLEDB:Global Partial Bulk Ops=2;"
    "Jet OLEDB:Global Bulk Transactions=1;"
    "Jet OLEDB:New Database Password=\"\";"
    "Jet OLEDB:Create System Database=False;"
    "Jet OLEDB:Encrypt Database=False;"
    "Jet OLEDB:Don't Copy Locale on Compact=False;"
    "Jet OLEDB:Compact Without Replica Repair=False;"
    "Jet OLEDB:SFP=False");

class UserDMTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobalRecords();
        Shell::overrideExecutableDirectory(tmp.path());
        setShowSetConfigHook([this] {
            ++dialogs;
            return dialog ? dialog() : false;
        });
    }
    void TearDown() override
    {
        setShowSetConfigHook(nullptr);
        Shell::overrideExecutableDirectory(QString());
        ResetGlobalRecords();
    }

    QString iniPath() const { return tmp.file(QStringLiteral("MyConnect.ini")); }
    IniFile ini() const { return IniFile(iniPath()); }
    void writeIni(const QByteArray& bytes) const
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QString makeDatabase(const QString& relative) const
    {
        const QString path = tmp.file(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        createLocalDatabase(path, true);
        return path;
    }
    // The settings dialog saving a local path, as the real one would.
    std::function<bool()> savesPath(const QString& path)
    {
        return [this, path] {
            ini().writeString(QStringLiteral("LocalDB"), QStringLiteral("DbNames"), path);
            return true;
        };
    }

    TempDir tmp;
    int dialogs = 0;
    std::function<bool()> dialog;
};

} // namespace

TEST_F(UserDMTest, NoSettingsAndDialogCancelled)
{
    TUserDM dm;
    dm.DataModuleCreate();

    const QString defaultPath = tmp.path() + QStringLiteral("/Data/Wage.VRD");
    EXPECT_TRUE(Shell::terminateRequested());
    EXPECT_EQ(TSetValue.AppPath, tmp.path());
    EXPECT_EQ(TSetValue.DbPost, QStringLiteral("1"));
    EXPECT_EQ(TSetValue.ConnectOption, 1);
    EXPECT_EQ(TSetValue.DbFileName, defaultPath);
    // The new file holds the default path and nothing else.
    QFile f(iniPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "[LocalDB]\nDBnames=" + defaultPath.toUtf8() + "\n");
    // The connection to it was attempted, failed, warned and offered the dialog.
    EXPECT_EQ(dm.ConnectionString, QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=")
                                       + defaultPath + JetTail);
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{{WarningText, QStringLiteral("警告"), MsgIcon::None}}));
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(dm.ADOConnection1.connected());
    EXPECT_FALSE(QFile::exists(defaultPath));
}

TEST_F(UserDMTest, NoSettingsAndDialogSaved)
{
    const QString db = makeDatabase(QStringLiteral("db/Wage.VRD"));
    dialog = savesPath(db);
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_FALSE(Shell::terminateRequested());
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    EXPECT_TRUE(dm.ADOConnection1.connected());
    EXPECT_EQ(TSetValue.DbFileName, db);
}

TEST_F(UserDMTest, MissingDatabaseThenDialogSavesAGoodPath)
{
    writeIni("[LocalDB]\nDBnames=" + tmp.file(QStringLiteral("gone.VRD")).toUtf8() + "\n");
    const QString db = makeDatabase(QStringLiteral("good.VRD"));
    dialog = savesPath(db);
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{{WarningText, QStringLiteral("警告"), MsgIcon::None}}));
    EXPECT_EQ(dialogs, 1);
    ASSERT_TRUE(dm.ADOConnection1.connected());
    EXPECT_EQ(dm.ADOConnection1.connectionString(), dm.ConnectionString);
    dm.QryFree.add(QStringLiteral("SELECT UserName FROM Sys_User"));
    dm.QryFree.open();
    EXPECT_EQ(dm.QryFree.fieldText(QStringLiteral("username")), QString::fromUtf8(DemoUserName));
}

TEST_F(UserDMTest, SecondFailureReachesTheCaller)
{
    writeIni("[LocalDB]\nDBnames=" + tmp.file(QStringLiteral("gone.VRD")).toUtf8() + "\n");
    dialog = savesPath(tmp.file(QStringLiteral("still-gone.VRD")));
    TUserDM dm;
    try {
        dm.DataModuleCreate();
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Could not find file '%1'.").arg(tmp.file(QStringLiteral("still-gone.VRD"))));
    }
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_FALSE(dm.ADOConnection1.connected());
}

TEST_F(UserDMTest, FileThatIsNoDatabaseWarnsAndStaysClosed)
{
    const QString path = tmp.file(QStringLiteral("text.VRD"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a database\n");
    f.close();
    writeIni("[LocalDB]\nDBnames=" + path.toUtf8() + "\n");
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(dm.ADOConnection1.connected());
    EXPECT_FALSE(Shell::terminateRequested());
}

TEST_F(UserDMTest, SettingsFileOfJunkGivesDefaults)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 151 + 7) % 256 == '=' ? 0 : (i * 151 + 7) % 256);
    writeIni(junk);
    const QString db = makeDatabase(QStringLiteral("Data/Wage.VRD"));
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_EQ(TSetValue.ConnectOption, 1);
    EXPECT_EQ(TSetValue.DbPost, QStringLiteral("1"));
    EXPECT_EQ(TSetValue.DbFileName, db);
    EXPECT_TRUE(dm.ADOConnection1.connected());
}

TEST_F(UserDMTest, EmptyDbNamesGetsTheDefaultWrittenBack)
{
    writeIni("[Connect]\nConnectOption=abc\n[LocalDB]\nDbPost=7\nDBnames=\n");
    TUserDM dm;
    TSetValue.AppPath = tmp.path();
    dm.ReadConnectSettings();
    const QString defaultPath = tmp.path() + QStringLiteral("/Data/Wage.VRD");
    EXPECT_EQ(TSetValue.ConnectOption, 1);
    EXPECT_EQ(TSetValue.DbPost, QStringLiteral("7"));
    EXPECT_EQ(TSetValue.DbFileName, defaultPath);
    EXPECT_EQ(ini().readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), defaultPath);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(UserDMTest, LocalPathsThatWouldBreakTheStringAreQuoted)
{
    TUserDM dm;
    TSetValue.AppPath = tmp.path();
    // (Blanks around a value never survive the settings file; the provider
    // string tests cover them.)
    const QString odd = QStringLiteral("/srv/a;Mode=Read/it's \"x\".VRD");
    ini().writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), odd);
    dm.ReadConnectSettings();
    EXPECT_EQ(dm.ConnectionString, QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=")
                                       + QStringLiteral("\"/srv/a;Mode=Read/it's \"\"x\"\".VRD\"") + JetTail);
    const ProviderString p = ProviderString::parse(dm.ConnectionString);
    EXPECT_EQ(p.value(QStringLiteral("Data Source")), odd);
    EXPECT_EQ(p.value(QStringLiteral("Mode")), QStringLiteral("ReadWrite"));
    EXPECT_EQ(p.value(QStringLiteral("Jet OLEDB:Database Password")), QStringLiteral("mint7305mint#%)"));
}

TEST_F(UserDMTest, ServerStringAndOdbcMapping)
{
    writeIni("[Connect]\nConnectOption=2\n[DataBase]\nServerName=db01\nDataBaseName=Wage\nPassword=pw\n");
    TUserDM dm;
    TSetValue.AppPath = tmp.path();
    TSetValue.DbFileName = QStringLiteral("earlier");
    dm.ReadConnectSettings();
    EXPECT_EQ(TSetValue.ConnectOption, 2);
    EXPECT_EQ(TSetValue.DbFileName, QStringLiteral("earlier"));
    EXPECT_EQ(dm.ConnectionString, QStringLiteral("Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;"
                                                  "User ID=sa;Initial Catalog=Wage;Data Source=db01"));
    EXPECT_EQ(dm.ADOConnection1.defaultDatabase(), QStringLiteral("Wage"));
    EXPECT_EQ(dm.ADOConnection1.odbcDriver(), QStringLiteral("FreeTDS"));
    EXPECT_EQ(odbcConnectionString(ProviderString::parse(dm.ConnectionString), dm.ADOConnection1.odbcDriver(),
                                   dm.ADOConnection1.odbcOptions()),
              QStringLiteral("DRIVER={FreeTDS};SERVER=db01;DATABASE=Wage;UID=sa;PWD=pw;"));

    // Our own keys, an empty user, and a password that would end the string.
    writeIni("[Connect]\nConnectOption=0\n[DataBase]\nServerName=db01\nDataBaseName=Wage\nUserName=\n"
             "Password=a;b\"c' \nDriver=ODBC Driver 18 for SQL Server\nOptions=TrustServerCertificate=yes;\n");
    dm.ReadConnectSettings();
    EXPECT_EQ(dm.ConnectionString, QStringLiteral("Provider=SQLOLEDB.1;Password=\"a;b\"\"c'\";Persist Security Info=True;"
                                                  "User ID=;Initial Catalog=Wage;Data Source=db01"));
    const ProviderString p = ProviderString::parse(dm.ConnectionString);
    EXPECT_EQ(p.value(QStringLiteral("Password")), QStringLiteral("a;b\"c'"));
    EXPECT_EQ(p.value(QStringLiteral("User ID")), QString());
    EXPECT_EQ(odbcConnectionString(p, dm.ADOConnection1.odbcDriver(), dm.ADOConnection1.odbcOptions()),
              QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01;DATABASE=Wage;UID=;PWD={a;b\"c'};"
                             "TrustServerCertificate=yes;"));
}

TEST_F(UserDMTest, FailedSettingsWriteCountsAsAFailedAttempt)
{
    // A settings path taken by a folder: the default path cannot be written back.
    const QString dir = tmp.path();
    QDir().mkpath(iniPath());
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_TRUE(Shell::terminateRequested());
    EXPECT_EQ(TSetValue.DbFileName, dir + QStringLiteral("/Data/Wage.VRD"));
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{{WarningText, QStringLiteral("警告"), MsgIcon::None}}));
    EXPECT_TRUE(dm.ConnectionString.isEmpty());
    EXPECT_FALSE(dm.ADOConnection1.connected());

    // Saved from the dialog, the second attempt's write error reaches the caller.
    dialog = [] { return true; };
    try {
        dm.DataModuleCreate();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to write to %1/MyConnect.ini").arg(dir));
    }
}
