#include "platform/DateFormats.h"

#include <gtest/gtest.h>

TEST(DateFormats, IsoFormatMatchesTheGeneralPath)
{
    // The direct path for "yyyy-MM-dd" must give what the pattern gives.
    for (const QDate& d : {QDate(1900, 1, 1), QDate(1980, 1, 5), QDate(2026, 12, 9), QDate(999, 3, 7), QDate(9999, 12, 31)})
        EXPECT_EQ(DateFormats::formatDate(d, QStringLiteral("yyyy-MM-dd")),
                  DateFormats::formatDate(d, QStringLiteral("yyyy'-'MM'-'dd")))
            << d.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(DateFormats::formatDate(QDate(1980, 1, 5), QStringLiteral("yyyy-MM-dd")), "1980-01-05");
    EXPECT_EQ(DateFormats::formatDate(QDate(1980, 1, 5), QStringLiteral("d/M/yy")), "5/1/80");
}
