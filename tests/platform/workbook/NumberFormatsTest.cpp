#include "platform/workbook/NumberFormats.h"

#include <QString>

#include <gtest/gtest.h>

TEST(NumberFormats, BuiltInDateFormats)
{
    for (int i : {14, 17, 22, 27, 36, 45, 47, 50, 58})
        EXPECT_TRUE(NumberFormats::isBuiltinDateFormat(i)) << i;
    for (int i : {0, 1, 2, 13, 23, 26, 37, 44, 48, 49, 59, 164})
        EXPECT_FALSE(NumberFormats::isBuiltinDateFormat(i)) << i;
}

TEST(NumberFormats, CustomCodesWithDateOrTimeParts)
{
    for (const char16_t* code : {u"yyyy-mm-dd", u"yyyy年m月d日", u"yyyy\"年\"m\"月\"d\"日\"", u"h:mm AM/PM",
                                 u"[h]:mm:ss", u"[mm]:ss", u"[$-804]yyyy/m/d", u"[Red]d-mmm", u"ss.0",
                                 u"DD/MM/YYYY", u"0;[Blue]yy"})
        EXPECT_TRUE(NumberFormats::isDateFormatCode(QStringView(code))) << QString::fromUtf16(code).toStdString();
}

TEST(NumberFormats, NumberCodesAreNoDates)
{
    for (const char16_t* code : {u"General", u"0.00", u"#,##0", u"0.00E+00", u"[Red]0.00", u"\"days\" 0",
                                 u"0\\d", u"[$-409]0.0", u"0_m", u"*y0", u"@", u"[DBNum1]0", u"", u"\"unclosed",
                                 u"[unclosed"})
        EXPECT_FALSE(NumberFormats::isDateFormatCode(QStringView(code))) << QString::fromUtf16(code).toStdString();
}
