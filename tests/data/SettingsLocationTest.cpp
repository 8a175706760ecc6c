#include "data/LocalDatabase.h"
#include "data/SetConfig.h"
#include "data/UserDMUnit.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui_SetConfig.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// Where an installed program keeps its settings. The program folder is made
// read-only with chmod, which holds for root too: a folder that grants nobody
// write access is not written into, whoever runs the program.

namespace {

enum class Folder { Missing, Writable, ReadOnly };
enum class At { Beside, User };

struct LocationCase {
    const char* name;
    bool programWritable;
    Folder data;
    bool companyIni;  // IT's file beside the program, naming a database
    bool dialogSaves; // else the dialog is cancelled
    At iniAt;
    At dbAt;          // where the default database path points
};

const LocationCase kCases[] = {
    {"portable folder keeps everything beside the program", true, Folder::Missing, false, false, At::Beside, At::Beside},
    {"installed program: settings and database path in the user's folders", false, Folder::Missing, false, false, At::User, At::User},
    {"installed program: the dialog saves into the user's file", false, Folder::Missing, false, true, At::User, At::User},
    {"installed program: a company-wide file beside it is read first", false, Folder::ReadOnly, true, false, At::Beside, At::User},
    {"writable folder with a read-only Data folder", true, Folder::ReadOnly, false, false, At::Beside, At::User},
    {"read-only folder with a writable Data folder", false, Folder::Writable, false, false, At::User, At::Beside},
};

class SettingsLocationTest : public ::testing::TestWithParam<LocationCase> {
protected:
    void SetUp() override
    {
        ResetGlobalRecords();
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.file(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home.file(QStringLiteral("share")).toUtf8());
        QDir().mkpath(program());
        Shell::overrideExecutableDirectory(program());
        setShowSetConfigHook(&ShowSetConfig);
    }
    void TearDown() override
    {
        QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(program() + QStringLiteral("/Data"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setShowSetConfigHook(nullptr);
        setSetConfigScript({});
        Shell::overrideExecutableDirectory(QString());
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
        qunsetenv("XDG_DATA_HOME");
        ResetGlobalRecords();
    }

    QString program() const { return tmp.file(QStringLiteral("opt/ostrel-import")); }

    QByteArray savedConfigHome;
    TempDir tmp;
    TempDir home;
};

} // namespace

TEST_P(SettingsLocationTest, ReadsAndWritesWhereTheProgramMay)
{
    const LocationCase& c = GetParam();
    SCOPED_TRACE(c.name);
    const QString besideIni = program() + QStringLiteral("/MyConnect.ini");
    const QString userIni = home.file(QStringLiteral("config/Ostrel/MyConnect.ini"));
    const QString besideDb = program() + QStringLiteral("/Data/Wage.VRD");
    const QString userDb = home.file(QStringLiteral("share/Ostrel/Data/Wage.VRD"));
    const QString typedDb = tmp.file(QStringLiteral("hr.VRD"));
    createLocalDatabase(typedDb, true);

    if (c.data != Folder::Missing)
        QDir().mkpath(program() + QStringLiteral("/Data"));
    if (c.companyIni)
        IniFile(besideIni).writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), typedDb);
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    if (c.data == Folder::ReadOnly) {
        ASSERT_TRUE(QFile::setPermissions(program() + QStringLiteral("/Data"), readOnly));
    }
    if (!c.programWritable) {
        ASSERT_TRUE(QFile::setPermissions(program(), readOnly));
    }

    setSetConfigScript([&c, typedDb](TSetConfigFrm& d) {
        if (c.dialogSaves) {
            d.ui()->EdtPath->setText(typedDb);
            d.ui()->BtnOK->click();
        } else {
            d.ui()->BtnExit->click();
        }
    });
    TUserDM dm;
    dm.DataModuleCreate();

    const QString ini = c.iniAt == At::Beside ? besideIni : userIni;
    EXPECT_EQ(TUserDM::settingsPath(), ini);
    EXPECT_FALSE(QFile::exists(c.iniAt == At::Beside ? userIni : besideIni));
    ASSERT_TRUE(QFile::exists(ini));
    if (!c.companyIni) {
        EXPECT_EQ(QFile::permissions(ini) & 0xF0FF, QFile::ReadOwner | QFile::WriteOwner);
    }

    const QString expectedDb = c.companyIni || c.dialogSaves ? typedDb : c.dbAt == At::Beside ? besideDb : userDb;
    EXPECT_EQ(TUserDM::defaultDbPathFor(program()), c.dbAt == At::Beside ? besideDb : userDb);
    EXPECT_EQ(TSetValue.DbFileName, expectedDb);
    EXPECT_EQ(IniFile(ini).readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), expectedDb);
    EXPECT_EQ(dm.ADOConnection1.connected(), expectedDb == typedDb);
    // The program never creates a database, nor its folder.
    EXPECT_FALSE(QFile::exists(userDb));
    EXPECT_FALSE(QFile::exists(QFileInfo(userDb).absolutePath()));
    EXPECT_FALSE(QFile::exists(besideDb));
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLocationTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LocationCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });
