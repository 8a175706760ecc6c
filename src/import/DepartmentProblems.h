#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What the department pass found wrong across the whole workbook: each
// department name the database lacks with the rows that use it, and the rows
// without a department. The pass goes on to the last row so that the clerk
// fixes all of them at once; the workbook is then refused as a whole.
class DepartmentProblems {
public:
    // Department names named one by one, then "等 N 个部门".
    static constexpr int kNamesShown = 10;
    // Row numbers shown per department, then "等".
    static constexpr int kRowsShown = 10;

    void unknown(int sheetRow, const QString& workerid, const QString& department);
    void empty(int sheetRow, const QString& workerid);
    bool isEmpty() const { return firstLine_.isEmpty(); }
    int departmentCount() const { return int(names_.size()); }

    // The box: the first such row's own sentence, a line per department
    // ("部门「市场部」不存在：第 3、7、12 行（共 3 行）"), the rows without one,
    // and that nothing was imported.
    QString message() const;

private:
    QString firstLine_;
    QStringList names_;                 // in order of first use
    QHash<QString, QList<int>> rows_;   // name → sheet rows
    QList<int> emptyRows_;
};
