#pragma once

#include "data/LocalDatabase.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"

#include <QString>

// A Jet provider string for a local file, as short as the provider takes.
inline QString jetString(const QString& path)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + quoteProviderValue(path)
        + QStringLiteral(";Mode=ReadWrite");
}

inline void openLocal(Connection& connection, const QString& path)
{
    connection.setConnectionString(jetString(path));
    connection.setConnected(true);
}
