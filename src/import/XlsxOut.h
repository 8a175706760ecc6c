#pragma once

#include <QString>
#include <QtGlobal>
#include <QStringList>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// A one-sheet .xlsx written with libxlsxwriter, rows in order (constant
// memory: a list of 65,535 rows costs no more than one). Every failure
// raises Error with a sentence for the clerk naming the file.
//
// The clerk's own files are never overwritten by it: a path that is the
// database (or its journal), the settings file, one of `keep` (the workbook
// being imported) or a symbolic link is refused before anything is written,
// compared by canonical path. The workbook is written to a temporary file in
// the target's folder and renamed over the target only once complete, so a
// failure leaves whatever was there. libxlsxwriter's own complaints, which it
// prints on standard error, become part of the error's text.
class XlsxOut {
public:
    explicit XlsxOut(const QString& path, const QStringList& keep = {});
    ~XlsxOut();
    XlsxOut(const XlsxOut&) = delete;
    XlsxOut& operator=(const XlsxOut&) = delete;

    // Raises Error when `path` may not be written (the rule above).
    static void refuseProtected(const QString& path, const QStringList& keep = {});

    // `fill`: the cells' background as 0xRRGGBB, 0 for none.
    lxw_format* addFormat(const char* numberFormat, bool bold = false, quint32 fill = 0);
    // Text cell; rows and columns count from 0.
    void text(int row, int column, const QString& value, lxw_format* format = nullptr);
    // Width in characters and a format for empty cells of the column.
    void column(int column, double width, lxw_format* format = nullptr);
    void freezeTopRow(int rows = 1);
    // Writes the file; until then nothing is at the path.
    void close();

private:
    void check(int error, const QString& said = QString());

    QString path_;
    QString temporary_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
};
