#pragma once

#include "support/TempDir.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <gtest/gtest.h>

// Writes a workbook of make_robust_workbook.py into `out` (at test time: the
// big ones are never committed).
inline bool makeWorkbook(const QString& kind, const QString& out, const QStringList& extra = {})
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(OSTREL_TEST_SOURCE_DIR "/robustness/make_robust_workbook.py"), kind, out} + extra);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "make_robust_workbook.py " << kind.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

// A connection of its own on a database file, for looking at it from outside
// the program (as another process would).
class OutsideLook {
public:
    explicit OutsideLook(const QString& file)
        : name_(QStringLiteral("outside-%1").arg(QUuid::createUuid().toString()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        EXPECT_TRUE(db.open());
    }
    ~OutsideLook()
    {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QVariant scalar(const QString& sql) const
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql) || !q.next())
            return QVariant();
        return q.value(0);
    }
    QStringList column(const QString& sql) const
    {
        QStringList out;
        QSqlQuery q(QSqlDatabase::database(name_, false));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private:
    QString name_;
};

// The columns the writer sets to constants, for every stored row.
inline const char* kWholeRowCondition =
    "WorkStatus='在职' and Email='' and leye is null and reye is null and BodyHigh is null"
    " and BodyWeight is null and FamilyTel is null and NamePy<>'' and Wkid is not null"
    " and Workerid<>'' and DeptNo<>'' and DepName<>''";

#include <QFile>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// One run of the command-line tool in a child held to bounds: address
// space (not under the sanitizers, which reserve terabytes) and processor
// time. What it used is read from the kernel's account of the child.
struct BoundedRun {
    bool exited = false; // false: killed by a signal (a bound)
    int code = -1;
    double cpuSeconds = 0;
    qint64 peakMiB = 0;
    QString err;
};

inline BoundedRun runCliBounded(const QStringList& args, qint64 addressSpaceMiB = 1024, int cpuSeconds = 30)
{
    BoundedRun result;
    QTemporaryFile err;
    if (!err.open()) {
        ADD_FAILURE() << "no temporary file";
        return result;
    }
    QList<QByteArray> argBytes{QByteArrayLiteral(OSTREL_BIN_DIR "/ostrel-import-cli")};
    for (const QString& a : args)
        argBytes << a.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    addressSpaceMiB = 0;
#endif
    const pid_t pid = fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec.
        if (addressSpaceMiB > 0) {
            const rlimit as{rlim_t(addressSpaceMiB) << 20, rlim_t(addressSpaceMiB) << 20};
            setrlimit(RLIMIT_AS, &as);
        }
        const rlimit cpu{rlim_t(cpuSeconds), rlim_t(cpuSeconds)};
        setrlimit(RLIMIT_CPU, &cpu);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        dup2(err.handle(), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        ADD_FAILURE() << "no child";
        return result;
    }
    result.exited = WIFEXITED(status);
    result.code = result.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.peakMiB = usage.ru_maxrss / 1024;
    QFile again(err.fileName());
    if (again.open(QIODevice::ReadOnly))
        result.err = QString::fromUtf8(again.readAll());
    return result;
}
