#pragma once

#include "support/TempDir.h"

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

// A workbook of make_shaped_workbooks.py (title rows, several sheets, an
// update file, unknown departments), written once per test program.
inline QString shapedWorkbook(const char* name)
{
    static TempDir* dir = [] {
        auto* d = new TempDir;
        QProcess make;
        make.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/import/make_shaped_workbooks.py"), d->path()});
        EXPECT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0) << make.readAllStandardError().toStdString();
        return d;
    }();
    return dir->file(QString::fromUtf8(name));
}
