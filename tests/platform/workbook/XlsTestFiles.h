#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstring>

inline QString xlsFixture(const char* name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/xls/") + QString::fromUtf8(name);
}

inline QByteArray xlsFixtureBytes(const char* name)
{
    QFile f(xlsFixture(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The .xlsx, .ods and .csv fixtures, each with NAME.cells (what the import
// reads from it) or NAME.bad (the start of the reason it is refused with).
inline QString workbookFixture(const QString& name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/workbook/") + name;
}

inline QStringList workbookFixtures(const char* suffix)
{
    QStringList names = QDir(workbookFixture(QString())).entryList({QStringLiteral("*") + QLatin1String(suffix)});
    for (QString& n : names)
        n.chop(qsizetype(std::strlen(suffix)));
    return names;
}

inline QString fixtureText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
