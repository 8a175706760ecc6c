#pragma once

#include "support/TempDir.h"

#include <QString>
#include <QVariant>

// A fresh local database made by the program's own schema, with the data
// module connected to it as after a normal start-up.
class TestDatabase {
public:
    explicit TestDatabase(bool demo = true);
    ~TestDatabase();

    QString path() const { return path_; }
    QString dir() const { return dir_.path(); }

    // Runs a statement directly (set-up and checks), bypassing the program.
    void exec(const QString& sql);
    QVariant scalar(const QString& sql);
    void addDepartment(const QString& number, const QString& name);
    void addUser(const QString& id, const QString& name, const QVariant& password);

private:
    TempDir dir_;
    QString path_;
    QString checkConnection_;
};
