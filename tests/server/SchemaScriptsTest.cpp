// The DBA's schema scripts for SQL Server and PostgreSQL must define what the
// local database defines: the same tables, columns in the same order, and
// the same indexes.

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct Schema {
    QMap<QString, QStringList> columns;  // table -> columns, lower case
    QSet<QString> indexes;               // "unique table(column)"
    QMap<QString, QString> types;        // "table.column" -> declared type, lower case
};

Schema readSchema(const char* file)
{
    Schema s;
    QFile f(QStringLiteral(OSTREL_TEST_FIXTURES "/../../sql/") + QString::fromUtf8(file));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    static const QRegularExpression table(QStringLiteral("^CREATE TABLE (\\w+) \\($"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression index(QStringLiteral("^CREATE (UNIQUE )?INDEX \\w+ ON (\\w+) \\((\\w+)\\)"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString current;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (auto m = table.match(line); m.hasMatch()) {
            current = m.captured(1).toLower();
            s.columns[current];
        } else if (line.startsWith(u')')) {
            current.clear();
        } else if (!current.isEmpty() && !line.isEmpty() && !line.startsWith(QLatin1String("--"))) {
            const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
            s.columns[current] << words[0].toLower();
            // A primary key is a unique index of its own.
            if (line.contains(QLatin1String("PRIMARY KEY"), Qt::CaseInsensitive))
                s.indexes << QStringLiteral("unique ") + current + u'(' + words[0].toLower() + u')';
            s.types[current + u'.' + words[0].toLower()] = words.value(1).toLower().remove(u',');
        } else if (auto m = index.match(line); m.hasMatch()) {
            s.indexes << (m.captured(1).isEmpty() ? QStringLiteral("") : QStringLiteral("unique "))
                    + m.captured(2).toLower() + u'(' + m.captured(3).toLower() + u')';
        }
    }
    return s;
}

} // namespace

TEST(SchemaScripts, ServerScriptsDefineWhatTheLocalDatabaseDefines)
{
    const Schema local = readSchema("sqlite.sql");
    ASSERT_EQ(local.columns.size(), 4);
    ASSERT_EQ(local.columns.value(QStringLiteral("hrp_workers")).size(), 42);
    ASSERT_EQ(local.indexes.size(), 5);
    for (const char* file : {"sqlserver.sql", "postgresql.sql"}) {
        const Schema server = readSchema(file);
        EXPECT_EQ(server.columns, local.columns) << file;
        EXPECT_EQ(server.indexes, local.indexes) << file;
        EXPECT_EQ(server.columns.value(QStringLiteral("sys_serialno")),
                  (QStringList{QStringLiteral("serialname"), QStringLiteral("avalue")}))
            << file;
        for (const char* date : {"birthday", "begindate", "normaldate", "graduatedate", "leavedate"})
            EXPECT_EQ(server.types.value(QStringLiteral("hrp_workers.") + QLatin1String(date)), QStringLiteral("date"))
                << file << " " << date;
        EXPECT_TRUE(server.types.value(QStringLiteral("hrp_workers.basewage")).startsWith(QLatin1String("numeric")))
            << file;
    }
}
