#pragma once

#include <QString>

// Creates a new local database file with the four tables the program needs
// (WAL journal). Refuses a path that already exists. With demo, adds a few
// departments and the demo user. Raises Error on failure.
void createLocalDatabase(const QString& path, bool demo);

// The demo user that the demo database holds.
inline constexpr const char* DemoUserId = "0001";
inline constexpr const char* DemoPassword = "demo";
