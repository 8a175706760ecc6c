#pragma once

#include "import/SpreadsheetLink.h"

#include <QWidget>

class QComboBox;
class QSpinBox;

// Beside the file box: the workbook's sheets in a drop-down (hidden ones
// last, marked) and "表头：第 N 行". Filling it in from code says nothing;
// only the clerk's own choice is signalled.
class SheetChoice : public QWidget {
    Q_OBJECT
public:
    explicit SheetChoice(QWidget* parent = nullptr);

    // The sheets of a workbook just read, `current` chosen; none empties it.
    void setSheets(const QList<SpreadsheetLink::SheetEntry>& sheets, const QString& current);
    void setHeaderRow(int row, int lastRow);
    QString sheet() const;  // the chosen sheet's name, "" when none
    int headerRow() const;

    QComboBox* sheetBox() const { return sheets_; }
    QSpinBox* headerRowBox() const { return headerRow_; }

Q_SIGNALS:
    void sheetChosen(const QString& name);
    void headerRowChosen(int row);

private:
    QComboBox* sheets_;
    QSpinBox* headerRow_;
    bool filling_ = false;
};
