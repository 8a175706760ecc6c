#pragma once

#include <QStringList>

#include <functional>

class Connection;
class Query;

// The statement of the staging query shown in the import window's grid. It
// never returns a row ("where 1=0"); reopening it checks that Hrp_workers
// answers before a run starts.
const QStringList& stagingQuerySql();

// The same columns for the employees with these worker numbers, read back
// after a run: `each` gets the open query once per group of numbers.
void readBackWorkers(Connection& connection, const QStringList& workerids,
                     const std::function<void(Query&)>& each);
