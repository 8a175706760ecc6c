#include "import/XlsxOut.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

namespace {
// The format's limit is 32,767 characters a cell; stay clear of it.
constexpr int kMaxCellChars = 32000;
} // namespace

XlsxOut::XlsxOut(const QString& path)
    : path_(path)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray name = QFile::encodeName(path);
    book_ = workbook_new_opt(name.constData(), &options);
    if (!book_)
        throw Error(QStringLiteral("无法创建文件「%1」。").arg(QDir::toNativeSeparators(path)));
    sheet_ = workbook_add_worksheet(book_, nullptr);
    if (!sheet_)
        check(LXW_ERROR_MEMORY_MALLOC_FAILED);
}

XlsxOut::~XlsxOut()
{
    if (book_)
        workbook_close(book_); // abandoned: whatever it wrote is incomplete anyway
}

void XlsxOut::check(int error)
{
    if (error == LXW_NO_ERROR)
        return;
    throw Error(QStringLiteral("无法保存文件「%1」，请换一个文件夹或文件名再试。\n%2")
                    .arg(QDir::toNativeSeparators(path_), QString::fromUtf8(lxw_strerror(lxw_error(error)))));
}

lxw_format* XlsxOut::addFormat(const char* numberFormat, bool bold)
{
    lxw_format* f = workbook_add_format(book_);
    if (numberFormat)
        format_set_num_format(f, numberFormat);
    if (bold)
        format_set_bold(f);
    return f;
}

void XlsxOut::text(int row, int column, const QString& value, lxw_format* format)
{
    const QByteArray utf8 = value.left(kMaxCellChars).toUtf8();
    check(worksheet_write_string(sheet_, lxw_row_t(row), lxw_col_t(column), utf8.constData(), format));
}

void XlsxOut::column(int column, double width, lxw_format* format)
{
    check(worksheet_set_column(sheet_, lxw_col_t(column), lxw_col_t(column), width, format));
}

void XlsxOut::freezeTopRow()
{
    worksheet_freeze_panes(sheet_, 1, 0);
}

void XlsxOut::close()
{
    lxw_workbook* book = book_;
    book_ = nullptr;
    check(workbook_close(book));
}
