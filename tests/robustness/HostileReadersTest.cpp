#include "support/TempDir.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

// Hostile workbooks, written at test time by make_hostile_workbook.py, read
// by `ostrel-import-cli cells` in a child held to 1 GB of address space and
// 30 s of processor time: each ends in time, within memory, with exit 1 and
// the Chinese reason.
namespace {

constexpr rlim_t kMemoryLimit = rlim_t(1) << 30;
constexpr rlim_t kCpuSeconds = 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // its shadow memory needs far more address space
#else
constexpr bool kSanitized = false;
#endif

struct BoundedRun {
    int exitCode = -1;
    int signal = 0;
    long peakKb = 0;
    QString err;
};

BoundedRun cellsBounded(const QString& workbook, const QString& errFile)
{
    BoundedRun run;
    const QByteArray cli = QByteArrayLiteral(OSTREL_BIN_DIR "/ostrel-import-cli");
    const QByteArray path = QFile::encodeName(workbook);
    const QByteArray errPath = QFile::encodeName(errFile);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit cpu{kCpuSeconds, kCpuSeconds};
        setrlimit(RLIMIT_CPU, &cpu);
        if (!kSanitized) {
            const rlimit memory{kMemoryLimit, kMemoryLimit};
            setrlimit(RLIMIT_AS, &memory);
        }
        const int out = open("/dev/null", O_WRONLY);
        const int err = open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        execl(cli.constData(), cli.constData(), "cells", "--workbook", path.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.peakKb = usage.ru_maxrss;
    QFile f(errFile);
    if (f.open(QIODevice::ReadOnly))
        run.err = QString::fromUtf8(f.readAll());
    return run;
}

} // namespace

TEST(HostileReaders, EachEndsBoundedWithItsReason)
{
    struct Case {
        const char* kind;
        const char* file;
        int exitCode;
        QString reason; // the start of standard error
    } cases[] = {
        {"ods-columns", "c.ods", 1, QStringLiteral("第1行XFD列之后还有内容，超出了表格的最大列数")},
        {"ods-rows", "r.ods", 1, QStringLiteral("第1048576行之后还有内容，超出了表格的最大行数")},
        {"ods-empty-edges", "e.ods", 0, QString()},
        {"ods-encrypted", "s.ods", 1, QStringLiteral("工作簿有密码保护，请先取消密码")},
        {"csv-rows", "rows.csv", 1, QStringLiteral("第1048577行有内容，超出了表格的最大行数")},
        {"csv-field", "field.csv", 1, QStringLiteral("第2行B列的文字超过32767个字符")},
        {"csv-invalid", "invalid.csv", 1, QStringLiteral("文本文件的编码无法识别")},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const QString path = tmp.file(QString::fromLatin1(c.file));
        QProcess make;
        make.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/robustness/make_hostile_workbook.py"),
                    QString::fromLatin1(c.kind), path});
        ASSERT_TRUE(make.waitForFinished(120000) && make.exitCode() == 0) << make.readAllStandardError().toStdString();
        const BoundedRun run = cellsBounded(path, tmp.file(QStringLiteral("err.txt")));
        QFile::remove(path); // the large ones take no room past their case
        EXPECT_EQ(run.signal, 0) << "killed: out of time";
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_LT(run.peakKb, long(kMemoryLimit / 1024));
        if (!c.reason.isEmpty()) {
            EXPECT_TRUE(run.err.startsWith(c.reason)) << run.err.toStdString();
        }
    }
}
