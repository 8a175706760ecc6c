#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

// An .xlsx as openpyxl reads it: another program than ours.
struct XlsxContent {
    QList<QStringList> rows;
    QJsonObject formats; // column letter → number format
    bool boldHeader = false;
    QJsonObject fills; // cell ("E3") → its fill colour ("FFEB9C")
};

inline XlsxContent readXlsx(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/support/read_xlsx.py"), path});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    XlsxContent c;
    for (const QJsonValue& row : o.value(QStringLiteral("rows")).toArray()) {
        QStringList cells;
        for (const QJsonValue& v : row.toArray())
            cells << v.toString();
        c.rows << cells;
    }
    c.formats = o.value(QStringLiteral("formats")).toObject();
    c.boldHeader = o.value(QStringLiteral("boldHeader")).toBool();
    c.fills = o.value(QStringLiteral("fills")).toObject();
    return c;
}

// Copies an .xlsx with some cells set by openpyxl ("A2=W1", "F2=date:1990-05-12").
inline void editXlsx(const QString& in, const QString& out, const QStringList& cells)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(OSTREL_TEST_SOURCE_DIR "/support/edit_xlsx.py"), in, out} + cells);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}
