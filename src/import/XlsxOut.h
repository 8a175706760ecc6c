#pragma once

#include <QString>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// A one-sheet .xlsx written with libxlsxwriter, rows in order (constant
// memory: a list of 65,535 rows costs no more than one). Every failure
// raises Error with a sentence for the clerk naming the file.
class XlsxOut {
public:
    explicit XlsxOut(const QString& path);
    ~XlsxOut();
    XlsxOut(const XlsxOut&) = delete;
    XlsxOut& operator=(const XlsxOut&) = delete;

    lxw_format* addFormat(const char* numberFormat, bool bold = false);
    // Text cell; rows and columns count from 0.
    void text(int row, int column, const QString& value, lxw_format* format = nullptr);
    // Width in characters and a format for empty cells of the column.
    void column(int column, double width, lxw_format* format = nullptr);
    void freezeTopRow();
    // Writes the file; until then nothing is on disk.
    void close();

private:
    void check(int error);

    QString path_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
};
