#include "platform/db/DbFailures.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <array>

#include <unistd.h>

namespace DbFailures {

namespace {

// Columns the schema keeps as dates and as numbers: a refused check on one
// of them (the local file's way of refusing) says which kind of value it was.
constexpr std::array kDateColumns{"BIrThday", "BeginDate", "NorMalDate", "GraduateDate", "LeaveDate"};
constexpr std::array kNumberColumns{"BaseWage", "BodyHigh", "BodyWeight"};
constexpr std::array kTables{"Hrp_workers", "Sys_dept", "Sys_SerialNo", "Sys_User"};

template <size_t N>
bool listed(const std::array<const char*, N>& names, const QString& name)
{
    for (const char* n : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// A server writes names in its own case ("sys_dept") or with a schema
// ("dbo.Sys_dept", "main.Sys_dept"); ours are shown as we spell them.
QString tableName(QString name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name = name.mid(dot + 1);
    for (const char* t : kTables)
        if (name.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
            return QLatin1String(t);
    return name;
}

// First capture of the first pattern that matches, or "".
QString find(const QString& text, std::initializer_list<const char*> patterns)
{
    for (const char* p : patterns) {
        const QRegularExpression re(QString::fromLatin1(p), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = re.match(text);
        if (m.hasMatch())
            return m.captured(1);
    }
    return QString();
}

// "T.C" of SQLite's constraint messages.
void splitTableColumn(const QString& both, Failure& f)
{
    const qsizetype dot = both.indexOf(u'.');
    if (dot < 0) {
        f.column = both;
        return;
    }
    f.table = tableName(both.left(dot));
    f.column = both.mid(dot + 1);
}

Failure fromSqlite(int code, const QString& text)
{
    Failure f;
    switch (code) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        f.kind = Kind::UniqueKey;
        splitTableColumn(find(text, {"constraint failed: ([\\w.]+)"}), f);
        return f;
    case SQLITE_CONSTRAINT_NOTNULL:
        f.kind = Kind::NotNull;
        splitTableColumn(find(text, {"constraint failed: ([\\w.]+)"}), f);
        return f;
    case SQLITE_CONSTRAINT_CHECK:
        // The message quotes the check, which begins with its column.
        f.column = find(text, {"CHECK constraint failed: (\\w+)"});
        if (listed(kDateColumns, f.column))
            f.kind = Kind::BadDate;
        else if (listed(kNumberColumns, f.column))
            f.kind = Kind::BadNumber;
        return f;
    default:
        break;
    }
    switch (code & 0xFF) {
    case SQLITE_ERROR:
        if (const QString t = find(text, {"no such table: ([\\w.]+)"}); !t.isEmpty()) {
            f.kind = Kind::MissingTable;
            f.table = tableName(t);
        } else if (const QString c = find(text, {"has no column named (\\w+)"}); !c.isEmpty()) {
            f.kind = Kind::MissingColumn;
            f.table = tableName(find(text, {"^table (\\w+)"}));
            f.column = c;
        } else if (const QString c2 = find(text, {"no such column: ([\\w.]+)"}); !c2.isEmpty()) {
            f.kind = Kind::MissingColumn;
            splitTableColumn(c2, f);
        }
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        f.kind = Kind::Locked;
        break;
    case SQLITE_READONLY:
        f.kind = Kind::ReadOnly;
        break;
    case SQLITE_FULL:
        f.kind = Kind::DiskFull;
        break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        f.kind = Kind::FileUnavailable;
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        f.kind = Kind::NotADatabase;
        break;
    case SQLITE_TOOBIG:
        f.kind = Kind::TooLong;
        break;
    default:
        break;
    }
    return f;
}

// The value a server quotes in its message: PostgreSQL's ': "1990-13-45"'.
QString quotedValue(const QString& text)
{
    return find(text, {":\\s*\"([^\"\\n]*)\"\\s*(?:$|[;\\n])"});
}

Failure fromOdbc(const QString& state, int native, const QString& text)
{
    Failure f;
    const QString cls = state.left(2);
    if (state == QLatin1String("23505")
        || (state == QLatin1String("23000")
            && (native == 2601 || native == 2627 || text.contains(QLatin1String("duplicate"), Qt::CaseInsensitive)))) {
        f.kind = Kind::UniqueKey;
        // Only the index's name is given; ours end in the column's name.
        const QString index = find(text, {"unique (?:constraint|index) [\"']([^\"']+)[\"']", "constraint [\"']([^\"']+)[\"']"});
        for (const char* c : {"Wkid", "SerialName", "Workerid"})
            if (index.endsWith(QLatin1String(c), Qt::CaseInsensitive)) {
                f.column = QLatin1String(c);
                break;
            }
    } else if (state == QLatin1String("23502") || (state == QLatin1String("23000") && native == 515)) {
        f.kind = Kind::NotNull;
        f.column = find(text, {"column \"(\\w+)\"", "column '(\\w+)'"});
    } else if (state == QLatin1String("22007") || state == QLatin1String("22008")) {
        f.kind = Kind::BadDate;
        f.value = quotedValue(text);
    } else if (state == QLatin1String("22P02") || state == QLatin1String("22018")) {
        const bool date = text.contains(QLatin1String("date"), Qt::CaseInsensitive)
            || text.contains(QLatin1String("timestamp"), Qt::CaseInsensitive);
        f.kind = date ? Kind::BadDate : Kind::BadNumber;
        f.value = quotedValue(text);
    } else if (state == QLatin1String("22003")) {
        f.kind = Kind::NumberTooLarge;
    } else if (state == QLatin1String("22001")) {
        f.kind = Kind::TooLong;
        f.column = find(text, {"column '(\\w+)'"});
        f.width = find(text, {"\\((\\d+)\\)"}).toInt();
    } else if (state == QLatin1String("42S02") || state == QLatin1String("42P01")) {
        f.kind = Kind::MissingTable;
        f.table = tableName(find(text, {"relation \"([\\w.]+)\"", "object name '([\\w.]+)'"}));
    } else if (state == QLatin1String("42S22") || state == QLatin1String("42703")) {
        f.kind = Kind::MissingColumn;
        f.column = find(text, {"column \"(\\w+)\"", "column name '(\\w+)'"});
        f.table = tableName(find(text, {"of relation \"(\\w+)\""}));
    } else if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03")
               || state == QLatin1String("57014") || state.startsWith(QLatin1String("HYT"))) {
        f.kind = Kind::Locked;
    } else if (state == QLatin1String("08001") || state == QLatin1String("08004") || cls == QLatin1String("28")
               || cls == QLatin1String("IM")) {
        f.kind = Kind::CannotConnect;
    } else if (cls == QLatin1String("08") || state.startsWith(QLatin1String("57P"))) {
        f.kind = Kind::ConnectionLost;
    }
    return f;
}

QString quoted(const QString& s)
{
    return QStringLiteral("「%1」").arg(s);
}

} // namespace

Failure classify(const DbError& error)
{
    if (error.sqliteCode() != 0)
        return fromSqlite(error.sqliteCode(), error.text());
    if (!error.sqlState().isEmpty())
        return fromOdbc(error.sqlState(), error.nativeCode(), error.text());
    return {};
}

QString sentence(const Failure& f, const QString& databaseText)
{
    const QString label = !f.field.isEmpty() ? f.field : f.column;
    const QString value = f.value.isEmpty() ? QString() : quoted(f.value);
    switch (f.kind) {
    case Kind::BadDate:
        return (label.isEmpty() ? QStringLiteral("日期") : label) + value + QStringLiteral("不是有效日期");
    case Kind::BadNumber:
        return (label.isEmpty() && value.isEmpty() ? QStringLiteral("有一项") : label) + value
            + QStringLiteral("不是数字");
    case Kind::NumberTooLarge:
        return (label.isEmpty() && value.isEmpty() ? QStringLiteral("有一项数字") : label) + value
            + QStringLiteral("超出数据库允许的范围");
    case Kind::TooLong:
        if (!label.isEmpty())
            return quoted(label) + QStringLiteral("过长");
        return f.width > 0 ? QStringLiteral("有一项内容超过数据库列的宽度（%1 个字符）").arg(f.width)
                           : QStringLiteral("有一项内容超过数据库列的宽度");
    case Kind::NotNull:
        return label.isEmpty() ? QStringLiteral("有一项数据库要求填写的内容为空")
                               : quoted(label) + QStringLiteral("不能为空");
    case Kind::UniqueKey:
        if (f.column.compare(QLatin1String("Wkid"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("员工内部编号（Wkid）已被占用，请重新导入该行；如反复出现，请管理员检查计数器 WKID");
        if (f.column.compare(QLatin1String("SerialName"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("计数器 WKID 正由另一程序同时创建，请重新导入该行");
        // The worker number is the key the program relies on; a peer
        // database may keep others unique too.
        if (f.column.isEmpty() || f.column.compare(QLatin1String("Workerid"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("工号已存在");
        return quoted(label) + QStringLiteral("已存在");
    case Kind::MissingTable:
        return QStringLiteral("数据库缺少表 ") + (f.table.isEmpty() ? QStringLiteral("（未知）") : f.table);
    case Kind::MissingColumn:
        if (f.table.isEmpty())
            return QStringLiteral("数据库缺少列 ") + f.column;
        return QStringLiteral("数据库表 %1 缺少列 %2").arg(f.table, f.column);
    case Kind::Locked:
        return QStringLiteral("数据库正被其他程序占用，请稍后再试");
    case Kind::CannotConnect:
        return QStringLiteral("无法连接数据库，请检查网络和连接设置（服务器、数据库名、用户名、密码）");
    case Kind::ConnectionLost:
        return QStringLiteral("与数据库的连接已断开，请检查网络，然后重新启动程序");
    case Kind::ReadOnly:
        return QStringLiteral("数据库文件只能读、不能写，请检查文件的权限");
    case Kind::DiskFull:
        return QStringLiteral("磁盘已满，数据库无法写入");
    case Kind::FileUnavailable:
        return QStringLiteral("无法打开或读写数据库文件，请检查文件是否存在、磁盘或网络驱动器是否可用");
    case Kind::NotADatabase:
        return QStringLiteral("这个文件不是数据库文件，或者已经损坏");
    case Kind::Other:
        break;
    }
    return QStringLiteral("数据库错误：") + databaseText;
}

QString explain(const Failure& failure, const QString& databaseText)
{
    const QString s = sentence(failure, databaseText);
    if (failure.kind == Kind::Other || databaseText.isEmpty())
        return s;
    return s + u'\n' + databaseText;
}

QString explain(const DbError& error)
{
    return explain(classify(error), error.text());
}

bool recurs(Kind kind)
{
    switch (kind) {
    case Kind::Locked:
    case Kind::ReadOnly:
    case Kind::DiskFull:
    case Kind::FileUnavailable:
    case Kind::NotADatabase:
    case Kind::CannotConnect:
    case Kind::ConnectionLost:
        return true;
    default:
        return false;
    }
}

namespace {
bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Which of the file and its folder keeps SQLite from writing: the folder
// matters for the journal (and a WAL file's -wal and -shm) made beside it.
QString notWritable(const QString& file)
{
    if (file.isEmpty())
        return QStringLiteral("数据库只能读、不能写");
    const QFileInfo info(file);
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (info.exists() && !writable(file))
        return QStringLiteral("数据库文件「%1」只能读、不能写").arg(QDir::toNativeSeparators(info.absoluteFilePath()));
    if (!writable(info.absolutePath()))
        return QStringLiteral("数据库所在的文件夹「%1」不能写入（数据库要在其中建立临时文件）").arg(folder);
    return QStringLiteral("数据库文件「%1」只能读、不能写").arg(QDir::toNativeSeparators(info.absoluteFilePath()));
}
} // namespace

QString stopCause(const Failure& f, const QString& localFile)
{
    switch (f.kind) {
    case Kind::Locked:
        return QStringLiteral("数据库被其他程序锁定");
    case Kind::ReadOnly:
        return notWritable(localFile);
    case Kind::DiskFull:
        return QStringLiteral("磁盘已满，数据库无法写入");
    case Kind::FileUnavailable:
        // A file that cannot be opened for writing beside one that can be
        // read is a permission; otherwise the disk or the share failed.
        if (!localFile.isEmpty() && (!writable(localFile) || !writable(QFileInfo(localFile).absolutePath())))
            return notWritable(localFile);
        return QStringLiteral("读写数据库文件时出错（磁盘或网络驱动器）");
    case Kind::NotADatabase:
        return QStringLiteral("数据库文件已经损坏");
    case Kind::CannotConnect:
    case Kind::ConnectionLost:
        return QStringLiteral("与数据库的连接已断开");
    default:
        return QStringLiteral("数据库出错");
    }
}

QString stopAdvice(const Failure& f)
{
    switch (f.kind) {
    case Kind::Locked:
        return QStringLiteral("请稍后重新导入本文件");
    case Kind::ReadOnly:
        return QStringLiteral("请让管理员给予写入权限后重新导入本文件");
    case Kind::DiskFull:
        return QStringLiteral("请腾出磁盘空间后重新导入本文件");
    case Kind::NotADatabase:
        return QStringLiteral("请让管理员从备份恢复数据库后重新导入本文件");
    case Kind::CannotConnect:
    case Kind::ConnectionLost:
        return QStringLiteral("请检查网络后重新导入本文件");
    default:
        return QStringLiteral("请排除问题后重新导入本文件");
    }
}

DbError odbcError(const QSqlQuery& query, const QString& text)
{
    const QSqlResult* result = query.result();
    const QVariant handle = result ? result->handle() : QVariant();
    // The ODBC driver hands out its statement handle as a bare pointer.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "void*") != 0 && qstrcmp(handle.typeName(), "SQLHANDLE") != 0))
        return DbError(text);
    SQLHANDLE stmt = *static_cast<const SQLHANDLE*>(handle.constData());
    if (!stmt)
        return DbError(text);
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[8] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        return DbError(text);
    return DbError(text, QString::fromLatin1(reinterpret_cast<const char*>(state)), int(native));
}

} // namespace DbFailures
