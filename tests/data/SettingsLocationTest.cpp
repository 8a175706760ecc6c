#include "data/LocalDatabase.h"
#include "data/SetConfig.h"
#include "data/UserDMUnit.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "services/userGlobal.h"
#include "support/TempDir.h"
#include "ui_SetConfig.h"

#include <QFile>

#include <gtest/gtest.h>

// Where an installed program keeps its settings. Folders are made read-only
// with chmod, which holds for root too: a folder that grants nobody write
// access is not written into, whoever runs the program.
namespace {

enum class Folder { Missing, Writable, ReadOnly };
enum At { Beside, User };

struct LocationCase {
    const char* name;
    bool programWritable;
    Folder data;
    bool companyIni;  // IT's file beside the program, naming a database
    bool dialogSaves; // else the dialog is cancelled
    At iniAt;
    At defaultDbAt;
};

const LocationCase kCases[] = {
    {"portable folder: everything beside the program", true, Folder::Missing, false, false, Beside, Beside},
    {"installed: the user's folders", false, Folder::Missing, false, false, User, User},
    {"installed: the dialog saves into the user's file", false, Folder::Missing, false, true, User, User},
    {"installed: a company-wide file beside is read first", false, Folder::ReadOnly, true, false, Beside, User},
    {"writable folder, read-only Data", true, Folder::ReadOnly, false, false, Beside, User},
    {"read-only folder, writable Data", false, Folder::Writable, false, false, User, Beside},
};

class SettingsLocationTest : public ::testing::TestWithParam<LocationCase> {
protected:
    void SetUp() override
    {
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.file(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home.file(QStringLiteral("share")).toUtf8());
        Shell::overrideExecutableDirectory(program);
        setShowSetConfigHook(&ShowSetConfig);
        ResetGlobalRecords();
    }
    void TearDown() override
    {
        for (const QString& dir : {program, program + QStringLiteral("/Data")})
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setShowSetConfigHook(nullptr);
        setSetConfigScript({});
        Shell::overrideExecutableDirectory(QString());
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
        qunsetenv("XDG_DATA_HOME");
        ResetGlobalRecords();
    }

    QByteArray savedConfigHome;
    TempDir tmp;
    TempDir home;
    const QString program = tmp.path();
};

} // namespace

TEST_P(SettingsLocationTest, ReadsAndWritesWhereTheProgramMay)
{
    const LocationCase& c = GetParam();
    SCOPED_TRACE(c.name);
    const QString inis[] = {program + QStringLiteral("/MyConnect.ini"), home.file(QStringLiteral("config/Ostrel/MyConnect.ini"))};
    const QString dbs[] = {program + QStringLiteral("/Data/Wage.VRD"), home.file(QStringLiteral("share/Ostrel/Data/Wage.VRD"))};
    const QString typedDb = home.file(QStringLiteral("hr.VRD"));
    createLocalDatabase(typedDb, true);

    if (c.data != Folder::Missing)
        QDir(program).mkdir(QStringLiteral("Data"));
    if (c.companyIni)
        IniFile(inis[Beside]).writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), typedDb);
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    if (c.data == Folder::ReadOnly)
        QFile::setPermissions(program + QStringLiteral("/Data"), readOnly);
    if (!c.programWritable)
        QFile::setPermissions(program, readOnly);

    setSetConfigScript([&c, typedDb](TSetConfigFrm& d) {
        d.ui()->EdtPath->setText(typedDb);
        (c.dialogSaves ? d.ui()->BtnOK : d.ui()->BtnExit)->click();
    });
    TUserDM dm;
    dm.DataModuleCreate();

    const QString& ini = inis[c.iniAt];
    EXPECT_EQ(TUserDM::settingsPath(), ini);
    ASSERT_TRUE(QFile::exists(ini));
    EXPECT_FALSE(QFile::exists(inis[1 - c.iniAt]));
    if (!c.companyIni) {
        EXPECT_EQ(QFile::permissions(ini) & 0xF0FF, QFile::ReadOwner | QFile::WriteOwner);
    }
    EXPECT_EQ(TUserDM::defaultDbPathFor(program), dbs[c.defaultDbAt]);
    const QString db = c.companyIni || c.dialogSaves ? typedDb : dbs[c.defaultDbAt];
    EXPECT_EQ(TSetValue.DbFileName, db);
    EXPECT_EQ(IniFile(ini).readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), db);
    EXPECT_EQ(dm.ADOConnection1.connected(), db == typedDb);
    // The program never creates a database, nor its folder.
    EXPECT_FALSE(QFile::exists(dbs[Beside]));
    EXPECT_FALSE(QFile::exists(QFileInfo(dbs[User]).absolutePath()));
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLocationTest, ::testing::ValuesIn(kCases));
