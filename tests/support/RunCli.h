#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

// One run of the built command-line tool.
struct CliResult {
    int code;
    QString out;
    QString err;
};

inline CliResult runCli(const QStringList& args, const QByteArray& input = QByteArray(),
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                        int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"), args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(timeoutMs)) << args.join(u' ').toStdString();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
