#include "platform/db/DbFailures.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

// The failures SQLite gives a local file, and those the ODBC drivers of
// PostgreSQL (psqlODBC) and SQL Server (FreeTDS) give, with their own texts:
// the clerk reads the sentence first, the database's text after it.
TEST(DbFailures, EachRecognisedFailureReadsAsASentence)
{
    const struct {
        int sqlite;
        const char* state;
        int native;
        const char* text;
        const char* sentence;
    } cases[] = {
        {SQLITE_CONSTRAINT_UNIQUE, "", 0, "UNIQUE constraint failed: Hrp_workers.Workerid", "工号已存在"},
        {SQLITE_CONSTRAINT_UNIQUE, "", 0, "UNIQUE constraint failed: Hrp_workers.IdNumber", "「IdNumber」已存在"},
        {SQLITE_CONSTRAINT_PRIMARYKEY, "", 0, "UNIQUE constraint failed: Hrp_workers.Wkid",
         "员工内部编号（Wkid）已被占用，请重新导入该行；如反复出现，请管理员检查计数器 WKID"},
        {SQLITE_CONSTRAINT_CHECK, "", 0, "CHECK constraint failed: BIrThday IS NULL OR BIrThday IS date(BIrThday)",
         "BIrThday不是有效日期"},
        {SQLITE_CONSTRAINT_CHECK, "", 0, "CHECK constraint failed: BaseWage IS NULL OR typeof(BaseWage)", "BaseWage不是数字"},
        {SQLITE_CONSTRAINT_NOTNULL, "", 0, "NOT NULL constraint failed: Hrp_workers.Sex", "「Sex」不能为空"},
        {SQLITE_ERROR, "", 0, "no such table: sys_dept", "数据库缺少表 Sys_dept"},
        {SQLITE_ERROR, "", 0, "table hrp_workers has no column named JobAsses", "数据库表 Hrp_workers 缺少列 JobAsses"},
        {SQLITE_BUSY, "", 0, "database is locked", "数据库正被其他程序占用，请稍后再试"},
        {SQLITE_NOTADB, "", 0, "file is not a database", "这个文件不是数据库文件，或者已经损坏"},
        {0, "23505", 1, "ERROR: duplicate key value violates unique constraint \"ux_hrp_workers_workerid\";\nError while executing the query",
         "工号已存在"},
        {0, "23000", 2601, "Cannot insert duplicate key row in object 'dbo.Hrp_workers' with unique index 'UX_Hrp_workers_Wkid'.",
         "员工内部编号（Wkid）已被占用，请重新导入该行；如反复出现，请管理员检查计数器 WKID"},
        {0, "23000", 515, "Cannot insert the value NULL into column 'Sex', table 'hr.dbo.Hrp_workers'.", "「Sex」不能为空"},
        {0, "22008", 1, "ERROR: date/time field value out of range: \"1990-13-45\";\nError while executing the query",
         "日期「1990-13-45」不是有效日期"},
        {0, "22007", 241, "Conversion failed when converting date and/or time from character string.", "日期不是有效日期"},
        {0, "22P02", 1, "ERROR: invalid input syntax for type numeric: \"abc\"", "「abc」不是数字"},
        {0, "22018", 8114, "Error converting data type nvarchar to numeric.", "有一项不是数字"},
        {0, "22003", 8115, "Arithmetic overflow error converting nvarchar to data type numeric.", "有一项数字超出数据库允许的范围"},
        {0, "22001", 1, "ERROR: value too long for type character varying(30)", "有一项内容超过数据库列的宽度（30 个字符）"},
        {0, "22001", 2628, "String or binary data would be truncated in table 'hr.dbo.Hrp_workers', column 'Remarks'.",
         "「Remarks」过长"},
        {0, "42P01", 1, "ERROR: relation \"sys_dept\" does not exist", "数据库缺少表 Sys_dept"},
        {0, "42S02", 208, "Invalid object name 'dbo.Sys_User'.", "数据库缺少表 Sys_User"},
        {0, "42703", 1, "ERROR: column \"jobasses\" of relation \"hrp_workers\" does not exist",
         "数据库表 Hrp_workers 缺少列 jobasses"},
        {0, "42S22", 207, "Invalid column name 'JobAsses'.", "数据库缺少列 JobAsses"},
        {0, "HYT00", 0, "Timeout expired", "数据库正被其他程序占用，请稍后再试"},
        {0, "08S01", 20004, "Read from the server failed", "与数据库的连接已断开，请检查网络，然后重新启动程序"},
        {0, "08001", 0, "could not connect to server",
         "无法连接数据库，请检查网络和连接设置（服务器、数据库名、用户名、密码）"},
        // Not recognised: the database's text, once.
        {SQLITE_INTERNAL, "", 0, "internal error", nullptr},
        {0, "XX000", 0, "ERROR: something new", nullptr},
        {0, "", 0, "Parameter 'x' not found", nullptr},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const DbError e = c.sqlite ? DbError(text, c.sqlite) : DbError(text, QString::fromLatin1(c.state), c.native);
        EXPECT_EQ(errorText(e), c.sentence ? QString::fromUtf8(c.sentence) + u'\n' + text
                                           : QStringLiteral("数据库错误：") + text)
            << c.text;
    }
}
