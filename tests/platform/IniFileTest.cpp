#include "platform/Errors.h"
#include "platform/Gbk.h"
#include "platform/IniFile.h"
#include "support/TempDir.h"

#include <QFile>
#include <QRandomGenerator>

#include <climits>

#include <gtest/gtest.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(IniFileTest, NamesIgnoreCaseAndWritesReplace)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    writeBytes(path, "[LocalDB]\r\nDBnames=/a/Wage.VRD\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readString(QStringLiteral("localdb"), QStringLiteral("DbNames"), QStringLiteral("d")),
              QStringLiteral("/a/Wage.VRD"));
    ini.writeString(QStringLiteral("LOCALDB"), QStringLiteral("dbnames"), QStringLiteral("/b/New.VRD"));
    EXPECT_EQ(ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), QStringLiteral("/b/New.VRD"));
    // Still one key in one section, in the spelling the file had.
    const QByteArray bytes = readBytes(path);
    EXPECT_EQ(bytes.count("/b/New.VRD"), 1);
    EXPECT_FALSE(bytes.contains("/a/Wage.VRD"));
    EXPECT_TRUE(bytes.contains("[LocalDB]"));
    EXPECT_TRUE(bytes.contains("DBnames=/b/New.VRD"));
}

TEST(IniFileTest, ValuesAreGbkBytes)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    const QString value = QStringLiteral("/数据/工资库.VRD");
    IniFile ini(path);
    ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), value);
    EXPECT_EQ(readBytes(path), "[LocalDB]\nDBnames=" + Gbk::encode(value) + "\n");
    EXPECT_EQ(ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), value);

    writeBytes(path, "[DataBase]\nPassword=" + Gbk::encode(QStringLiteral("密码")) + "\n");
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Password"), QString()), QStringLiteral("密码"));
}

TEST(IniFileTest, DefaultOnlyWhenAbsent)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    IniFile ini(path);
    EXPECT_FALSE(ini.exists());
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QStringLiteral("sa")), QStringLiteral("sa"));
    writeBytes(path, "[DataBase]\nUserName=\n");
    EXPECT_TRUE(ini.exists());
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QStringLiteral("sa")), QString());
    EXPECT_EQ(ini.readString(QStringLiteral("Database"), QStringLiteral("Password"), QStringLiteral("x")), QStringLiteral("x"));
    EXPECT_EQ(ini.readString(QStringLiteral("Other"), QStringLiteral("UserName"), QStringLiteral("sa")), QStringLiteral("sa"));
}

TEST(IniFileTest, ValuesAreCutAt2047BytesOnACharacterBoundary)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    IniFile ini(path);
    writeBytes(path, "[S]\nlong=" + QByteArray(3000, 'a') + "\nhalf=" + QByteArray(2046, 'b') + Gbk::encode(QStringLiteral("中"))
                         + "\nfits=" + QByteArray(2045, 'c') + Gbk::encode(QStringLiteral("中")) + "\n");
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("long"), QString()), QString(2047, u'a'));
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("half"), QString()), QString(2046, u'b'));
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("fits"), QString()), QString(2045, u'c') + QStringLiteral("中"));
}

TEST(IniFileTest, IntegersMustBeWholeNumbers)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    IniFile ini(path);
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"1", 1}, {"0", 0}, {"2", 2}, {"-5", -5}, {"+7", 7}, {"007", 7},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
        {"", 99}, {" ", 99}, {"1x", 99}, {"abc", 99}, {"1.0", 99}, {"-", 99}, {"2147483648", 99},
        {"99999999999999999999", 99}, {"1 2", 99},
    };
    for (const auto& c : cases) {
        writeBytes(path, QByteArray("[Connect]\nConnectOption=") + c.text + "\n");
        EXPECT_EQ(ini.readInteger(QStringLiteral("connect"), QStringLiteral("connectoption"), 99), c.expected) << c.text;
    }
    EXPECT_EQ(ini.readInteger(QStringLiteral("Connect"), QStringLiteral("Missing"), 1), 1);
}

TEST(IniFileTest, WriteCreatesFileSectionAndKeyAndKeepsTheRest)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    IniFile ini(path);
    ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QStringLiteral("/x"));
    EXPECT_EQ(QFile::permissions(path) & QFileDevice::Permissions(0x7077), QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    ini.writeString(QStringLiteral("DataBase"), QStringLiteral("ServerName"), QStringLiteral("db01"));
    ini.writeString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QStringLiteral("sa"));
    // A second reader sees every write.
    IniFile other(path);
    EXPECT_EQ(other.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), QStringLiteral("/x"));
    EXPECT_EQ(other.readString(QStringLiteral("DataBase"), QStringLiteral("ServerName"), QString()), QStringLiteral("db01"));
    EXPECT_EQ(other.readString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QString()), QStringLiteral("sa"));

    // An existing file keeps its other content and its mode.
    writeBytes(path, "; ours\n[Connect]\nConnectOption=2\n[Other]\nkey=value\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther);
    ini.writeString(QStringLiteral("DataBase"), QStringLiteral("PassWord"), QStringLiteral("pw"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("Connect"), QStringLiteral("ConnectOption"), 1), 2);
    EXPECT_EQ(ini.readString(QStringLiteral("Other"), QStringLiteral("key"), QString()), QStringLiteral("value"));
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Password"), QString()), QStringLiteral("pw"));
    EXPECT_TRUE(readBytes(path).contains("; ours"));
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::ReadOther);
}

TEST(IniFileTest, FailedWriteNamesTheFile)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("missing-folder/MyConnect.ini"));
    IniFile ini(path);
    try {
        ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QStringLiteral("/x"));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to write to %1").arg(path));
    }
}

TEST(IniFileTest, BinaryJunkReadsAsDefaults)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("MyConnect.ini"));
    QByteArray junk(8192, '\0');
    QRandomGenerator rng(7305);
    for (char& c : junk)
        c = char(rng.bounded(256));
    junk.replace('=', '\xff');  // no key can appear by chance
    writeBytes(path, junk);
    IniFile ini(path);
    EXPECT_EQ(ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("Connect"), QStringLiteral("ConnectOption"), 1), 1);
    ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QStringLiteral("/x"));
    EXPECT_EQ(ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QString()), QStringLiteral("/x"));
}
