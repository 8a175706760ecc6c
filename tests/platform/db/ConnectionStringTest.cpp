#include "platform/Errors.h"
#include "platform/db/ConnectionString.h"

#include <gtest/gtest.h>

TEST(ProviderStringTest, ReadsThePiecesTheSettingsBuild)
{
    const ProviderString p = ProviderString::parse(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=/srv/data/Wage.VRD;Mode=ReadWrite;"
        "Extended Properties=\"\";Jet OLEDB:Database Password='mint7305mint#%)' ;Jet OLEDB:SFP=False"));
    EXPECT_EQ(p.value(QStringLiteral("provider")), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    EXPECT_EQ(p.value(QStringLiteral("DATA SOURCE")), QStringLiteral("/srv/data/Wage.VRD"));
    EXPECT_TRUE(p.contains(QStringLiteral("Extended Properties")));
    EXPECT_EQ(p.value(QStringLiteral("Extended Properties")), QString());
    EXPECT_EQ(p.value(QStringLiteral("Jet OLEDB:Database Password")), QStringLiteral("mint7305mint#%)"));
    EXPECT_EQ(p.value(QStringLiteral("Jet OLEDB:SFP")), QStringLiteral("False"));
    EXPECT_FALSE(p.contains(QStringLiteral("Password")));
}

TEST(ProviderStringTest, QuotedValuesAndBlanks)
{
    const ProviderString p = ProviderString::parse(QStringLiteral(
        "A=\"x;\"\"y\"\"\" ; B = 'it''s' ;C=  plain value  ;D=\" kept \""));
    EXPECT_EQ(p.value(QStringLiteral("a")), QStringLiteral("x;\"y\""));
    EXPECT_EQ(p.value(QStringLiteral("b")), QStringLiteral("it's"));
    EXPECT_EQ(p.value(QStringLiteral("c")), QStringLiteral("plain value"));
    EXPECT_EQ(p.value(QStringLiteral("d")), QStringLiteral(" kept "));
}

TEST(ProviderStringTest, MalformedQuotingIsAnError)
{
    EXPECT_THROW(ProviderString::parse(QStringLiteral("Password=\"open;User ID=sa")), DbError);
    EXPECT_THROW(ProviderString::parse(QStringLiteral("Password=\"a\"b;User ID=sa")), DbError);
}

TEST(ProviderStringTest, QuotedValueReadsBackExactly)
{
    const QStringList values = {
        QStringLiteral("a;b"), QStringLiteral("p\"q"), QStringLiteral("it's"), QStringLiteral(" lead"),
        QStringLiteral("trail "), QStringLiteral("\";User ID=evil"), QStringLiteral("x=y"),
        QStringLiteral("a b"), QString(), QStringLiteral("中文;密码"), QStringLiteral("'\"'"),
    };
    for (const QString& v : values) {
        const QString text = QStringLiteral("Password=") + quoteProviderValue(v) + QStringLiteral(";User ID=sa");
        const ProviderString p = ProviderString::parse(text);
        EXPECT_EQ(p.value(QStringLiteral("Password")), v) << text.toStdString();
        EXPECT_EQ(p.value(QStringLiteral("User ID")), QStringLiteral("sa")) << text.toStdString();
    }
}

TEST(OdbcStringTest, AwkwardValuesAreBraced)
{
    const ProviderString p = ProviderString::parse(QStringLiteral("Provider=SQLOLEDB.1;Password=\"a;b}c\";User ID=\" sa\";"
                                                                  "Initial Catalog={x};Data Source=host\\inst"));
    EXPECT_EQ(odbcConnectionString(p, QStringLiteral("Free}TDS"), QString()),
              QStringLiteral("DRIVER={Free}}TDS};SERVER=host\\inst;DATABASE={{x}}};UID={ sa};PWD={a;b}}c};"));
}

// psqlODBC percent- and plus-decodes unbraced values; FreeTDS takes them as
// they stand and does not undo a doubled "}}".
TEST(OdbcStringTest, DecodingDriversGetEveryAwkwardValueBraced)
{
    const struct {
        const char* value;
        const char* freeTds;
        const char* psql;
    } cases[] = {
        {"plain", "plain", "plain"},     {"a+b", "a+b", "{a+b}"},       {"100%", "100%", "{100%}"},
        {"p;x", "{p;x}", "{p;x}"},       {"{y}", "{{y}}}", "{{y}}}"},   {"x}y", "x}y", "{x}}y}"},
    };
    for (const auto& c : cases) {
        const QString v = QString::fromUtf8(c.value);
        EXPECT_EQ(odbcValue(v), QString::fromUtf8(c.freeTds)) << c.value;
        EXPECT_EQ(odbcValue(v, true), QString::fromUtf8(c.psql)) << c.value;
    }
    const ProviderString p = ProviderString::parse(QStringLiteral("Provider=SQLOLEDB.1;Password=a+b;User ID=u%1"));
    EXPECT_TRUE(odbcConnectionString(p, QStringLiteral("PostgreSQL Unicode"), QString())
                    .endsWith(QStringLiteral("UID={u%1};PWD={a+b};")));
}
