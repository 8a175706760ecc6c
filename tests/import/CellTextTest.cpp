#include "import/CellText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(CellText, NumbersInGeneralFormWithFifteenDigits)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {12, "12"}, {-12, "-12"}, {0.1, "0.1"}, {1234567.891, "1234567.891"}, {-3.5, "-3.5"},
        {1e-7, "1E-07"}, {0.00001, "0.00001"}, {0.000012345, "0.000012345"}, {0.0000012345, "1.2345E-06"},
        {123456789012345, "123456789012345"}, {999999999999999, "999999999999999"}, {1e15, "1E+15"},
        {123456789012345678.0, "1.23456789012346E+17"}, {440102198001015123.0, "4.40102198001015E+17"},
        {0.1 + 0.2, "0.3"}, {1.0 / 3, "0.333333333333333"}, {2.0 / 3 * 1e10, "6666666666.66667"},
        {9999999999999999.0, "1E+16"}, {1e100, "1E+100"}, {-2.5e-300, "-2.5E-300"}, {-0.0, "0"}, {0, "0"},
        {100, "100"}, {1e14, "100000000000000"}, {12345.6789012345678, "12345.6789012346"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CellText::numberText(c.value).toStdString(), c.text) << c.value;
    EXPECT_TRUE(CellText::numberText(std::numeric_limits<double>::quiet_NaN()).isNull());
    EXPECT_TRUE(CellText::numberText(std::numeric_limits<double>::infinity()).isNull());
}

TEST(CellText, DateSerialsOfThe1900System)
{
    const QString f = QStringLiteral("yyyy-MM-dd");
    EXPECT_EQ(CellText::dateText(43835, false, f), QStringLiteral("2020-01-05"));
    EXPECT_EQ(CellText::dateText(61, false, f), QStringLiteral("1900-03-01"));
    EXPECT_EQ(CellText::dateText(59, false, f), QStringLiteral("1900-02-28"));
    EXPECT_EQ(CellText::dateText(60, false, f), QStringLiteral("1900-02-28"));
    EXPECT_EQ(CellText::dateText(1, false, f), QStringLiteral("1900-01-01"));
    EXPECT_EQ(CellText::dateText(2958465, false, f), QStringLiteral("9999-12-31"));
    EXPECT_EQ(CellText::dateText(43835, false, QStringLiteral("yyyy/M/d")), QStringLiteral("2020/1/5"));
}

TEST(CellText, TimesOfDayAndRounding)
{
    const QString f = QStringLiteral("yyyy-MM-dd");
    EXPECT_EQ(CellText::dateText(43835 + 13.75 / 24, false, f), QStringLiteral("2020-01-05 13:45:00"));
    EXPECT_EQ(CellText::dateText(0.5, false, f), QStringLiteral("12:00:00"));
    EXPECT_EQ(CellText::dateText(0, false, f), QStringLiteral("00:00:00"));
    EXPECT_EQ(CellText::dateText(0.5 / 86400 * 0.98, false, f), QStringLiteral("00:00:00"));
    EXPECT_EQ(CellText::dateText((13 * 3600 + 45 * 60 + 29.6) / 86400, false, f), QStringLiteral("13:45:30"));
    // A time a hair before midnight rounds into the next day.
    EXPECT_EQ(CellText::dateText(43835.9999999, false, f), QStringLiteral("2020-01-06"));
}

TEST(CellText, The1904SystemAndSerialsThatAreNoDates)
{
    const QString f = QStringLiteral("yyyy-MM-dd");
    EXPECT_EQ(CellText::dateText(43835 - 1462, true, f), QStringLiteral("2020-01-05"));
    EXPECT_EQ(CellText::dateText(1, true, f), QStringLiteral("1904-01-02"));
    EXPECT_TRUE(CellText::dateText(-1, false, f).isNull());
    EXPECT_TRUE(CellText::dateText(2958466, false, f).isNull());
    EXPECT_TRUE(CellText::dateText(2958465, true, f).isNull()); // past 9999 in 1904 terms
    EXPECT_TRUE(CellText::dateText(std::nan(""), false, f).isNull());
}

TEST(CellText, TrimsControlCharactersAndSpacesOnly)
{
    EXPECT_EQ(CellText::trimmed(QStringLiteral(" \t\r\n a b \x01")), QStringLiteral("a b"));
    EXPECT_EQ(CellText::trimmed(QStringLiteral("   ")), QString());
    EXPECT_EQ(CellText::trimmed(QStringLiteral("\u3000全角\u3000")), QStringLiteral("\u3000全角\u3000"));
    EXPECT_EQ(CellText::trimmed(QStringLiteral("\u00A0x")), QStringLiteral("\u00A0x"));
}
