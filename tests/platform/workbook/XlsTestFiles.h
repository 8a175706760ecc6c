#pragma once

#include <QFile>
#include <QString>

inline QString xlsFixture(const char* name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/xls/") + QString::fromUtf8(name);
}

inline QByteArray xlsFixtureBytes(const char* name)
{
    QFile f(xlsFixture(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
