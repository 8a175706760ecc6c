#pragma once

#include <QString>
#include <QStringList>

// Creates a new local database file with the four tables the program needs
// (WAL journal). Refuses a path that already exists. With demo, adds a few
// departments and the demo user. Raises Error on failure.
void createLocalDatabase(const QString& path, bool demo);

// The statements that build the tables and indexes, one per entry, without
// a closing ";". The one place the local schema is written down.
QStringList localDatabaseSchema();
// The same as an SQL script for the sqlite3 shell (sql/sqlite.sql).
QString localDatabaseScript();

// The demo user that the demo database holds.
inline constexpr const char* DemoUserId = "0001";
inline constexpr const char* DemoUserName = "演示用户";
inline constexpr const char* DemoPassword = "demo";

// Department numbers and names of the demo database.
struct DemoDepartment {
    const char* number;
    const char* name;
};
inline constexpr DemoDepartment DemoDepartments[] = {
    {"01", "人事部"}, {"02", "财务部"}, {"03", "技术部"},
    {"04", "销售部"}, {"05", "生产部"}, {"06", "行政部"},
};
