#include "import/XlsxOut.h"

#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "services/userGlobal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {
// The format's limit is 32,767 characters a cell; stay clear of it.
constexpr int kMaxCellChars = 32000;
constexpr qint64 kMaxCapturedBytes = 4096;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The canonical form of a path that may not exist yet: its folder's
// canonical path and its name.
QString canonical(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// A database by its content, whichever program knows it: the first bytes of
// every SQLite file.
bool isDatabaseFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3", 16);
}

// What libxlsxwriter prints on standard error while `call` runs.
QString capturingStderr(const std::function<void()>& call)
{
    std::fflush(stderr);
    FILE* sink = std::tmpfile();
    const int saved = sink ? ::dup(STDERR_FILENO) : -1;
    if (saved < 0 || ::dup2(::fileno(sink), STDERR_FILENO) < 0) {
        if (saved >= 0)
            ::close(saved);
        if (sink)
            std::fclose(sink);
        call();
        return QString();
    }
    call();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    QByteArray said(kMaxCapturedBytes, '\0');
    std::rewind(sink);
    said.resize(qsizetype(std::fread(said.data(), 1, size_t(said.size()), sink)));
    std::fclose(sink);
    return QString::fromUtf8(said).trimmed();
}
} // namespace

void XlsxOut::refuseProtected(const QString& path, const QStringList& keep)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        throw Error(QStringLiteral("「%1」是一个链接，不能保存到这里。请另选一个文件名。").arg(shown(path)));
    if (info.exists() && !info.isFile())
        throw Error(QStringLiteral("「%1」不是文件，不能保存到这里。请另选一个文件名。").arg(shown(path)));
    const QString target = canonical(path);
    const auto refuse = [&](const QString& own, const QString& what) {
        if (!own.isEmpty() && canonical(own) == target)
            throw Error(QStringLiteral("「%1」是%2，不能用来保存表格，否则它会被覆盖。请另选一个文件名。").arg(shown(path), what));
    };
    QStringList databases;
    if (UserDM && !UserDM->ADOConnection1.localFile().isEmpty())
        databases << UserDM->ADOConnection1.localFile();
    if (TSetValue.ConnectOption == 1 && !TSetValue.DbFileName.isEmpty())
        databases << TSetValue.DbFileName;
    for (const QString& db : std::as_const(databases))
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            refuse(db + QLatin1String(suffix), QStringLiteral("数据库文件"));
    refuse(TUserDM::settingsPath(), QStringLiteral("设置文件"));
    for (const QString& k : keep)
        refuse(k, QStringLiteral("正在导入的表格文件"));
    // A database no setting names here (the template command knows none).
    QString base = path;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (base.endsWith(QLatin1String(suffix)))
            base.chop(qsizetype(qstrlen(suffix)));
    if (isDatabaseFile(path) || (base != path && isDatabaseFile(base)))
        throw Error(QStringLiteral("「%1」是数据库文件，不能用来保存表格，否则它会被覆盖。请另选一个文件名。").arg(shown(path)));
}

XlsxOut::XlsxOut(const QString& path, const QStringList& keep)
    : path_(path)
{
    refuseProtected(path, keep);
    // A name of our own beside the target: the rename is then atomic.
    const QFileInfo info(path);
    QByteArray name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw Error(QStringLiteral("无法保存文件「%1」：文件夹「%2」不存在或不能写入，请换一个文件夹再试。")
                        .arg(shown(path), shown(info.absolutePath())));
    ::close(fd);
    temporary_ = QFile::decodeName(name);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QString said = capturingStderr([&] { book_ = workbook_new_opt(name.constData(), &options); });
    if (!book_) {
        QFile::remove(temporary_);
        throw Error(QStringLiteral("无法创建文件「%1」。%2").arg(shown(path), said).trimmed());
    }
    sheet_ = workbook_add_worksheet(book_, nullptr);
    if (!sheet_)
        check(LXW_ERROR_MEMORY_MALLOC_FAILED);
}

XlsxOut::~XlsxOut()
{
    if (book_)
        capturingStderr([this] { workbook_close(book_); }); // abandoned: incomplete anyway
    if (!temporary_.isEmpty())
        QFile::remove(temporary_);
}

void XlsxOut::check(int error, const QString& said)
{
    if (error == LXW_NO_ERROR)
        return;
    QString text = QStringLiteral("无法保存文件「%1」，请换一个文件夹或文件名再试。\n%2")
                       .arg(shown(path_), QString::fromUtf8(lxw_strerror(lxw_error(error))));
    if (!said.isEmpty())
        text += u'\n' + said;
    throw Error(text);
}

lxw_format* XlsxOut::addFormat(const char* numberFormat, bool bold, quint32 fill)
{
    lxw_format* f = workbook_add_format(book_);
    if (numberFormat)
        format_set_num_format(f, numberFormat);
    if (bold)
        format_set_bold(f);
    if (fill != 0) {
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, fill);
    }
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

void XlsxOut::freezeTopRow(int rows)
{
    worksheet_freeze_panes(sheet_, lxw_row_t(rows), 0);
}

void XlsxOut::close()
{
    lxw_workbook* book = book_;
    book_ = nullptr;
    lxw_error error = LXW_NO_ERROR;
    const QString said = capturingStderr([&] { error = workbook_close(book); });
    check(error, said);
    // Checked again just before: the target may have become a link meanwhile.
    const QFileInfo target(path_);
    if (target.isSymLink())
        check(LXW_ERROR_CREATING_XLSX_FILE, QStringLiteral("「%1」是一个链接").arg(shown(path_)));
    if (::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData()) != 0)
        check(LXW_ERROR_CREATING_XLSX_FILE);
    temporary_.clear();
}
