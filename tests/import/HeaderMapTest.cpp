#include "import/HeaderMap.h"

#include <gtest/gtest.h>

TEST(HeaderMap, HeadersAsPersonnelOfficesWriteThem)
{
    const struct {
        const char* header;
        int slot;
    } cases[] = {
        {"员工编号", 1}, {"工号", 1}, {"职工编号", 1}, {"人员编号", 1}, {"WorkerID", 1}, {"ｗｏｒｋｅｒｉｄ", 1},
        {" 姓 名 *", 2}, {"姓名(必填)", 2}, {"姓名（必填）", 2}, {"*姓名", 2}, {"姓\u3000名", 2},
        {"出生日期(yyyy-mm-dd)", 6}, {"生日", 6}, {"出生年月", 6},
        {"手机号码", 8}, {"手机", 8}, {"手机号", 8},
        {"身份证号码", 9}, {"身份证号", 9}, {"身份证", 9}, {"证件号码", 9}, {"身份证号【18位】", 9},
        {"联系电话", 12}, {"部门名称", 17}, {"部门", 17}, {"所属部门", 17},
        {"基本工资", 22}, {"基本薪资", 22}, {"基本工资(元)", 22}, {"入职日期", 23}, {"入职时间", 23},
        {"银行帐号", 27}, {"银行账号", 27}, {"工资卡号", 27}, {"联系地址:", 31},
        {"", 0}, {"序号", 0}, {"年龄", 0}, {"(必填)", 0}, {"姓名2", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderMap::slotOfHeader(QString::fromUtf8(c.header)), c.slot) << c.header;
}

TEST(HeaderMap, CaptionsWinOverVariantsAndEachColumnServesOneBox)
{
    const auto suggest = [](std::initializer_list<const char*> headers) {
        QStringList h;
        for (const char* t : headers)
            h << QString::fromUtf8(t);
        QStringList filled;
        const HeaderMap::Columns columns = HeaderMap::suggest(h);
        for (size_t k = 0; k < columns.size(); ++k)
            if (columns[k])
                filled << QStringLiteral("%1=%2").arg(k + 1).arg(columns[k]);
        return filled.join(u' ');
    };
    // "工号" would do for box 1, but the caption further right wins.
    EXPECT_EQ(suggest({"工号", "姓名", "员工编号", "部门"}), "1=3 2=2 17=4");
    // The first of two equal headers takes the box.
    EXPECT_EQ(suggest({"姓名", "姓名", "部门名称", "所属部门"}), "2=1 17=3");
    EXPECT_EQ(suggest({}), "");
    EXPECT_EQ(HeaderMap::missingRequired(HeaderMap::suggest({QStringLiteral("姓名")})),
              (QStringList{QStringLiteral("员工编号"), QStringLiteral("部门名称")}));
}

TEST(HeaderMap, ColumnLettersAndBoxNotes)
{
    const std::pair<int, const char*> letters[] = {{1, "A"}, {26, "Z"}, {27, "AA"}, {52, "AZ"}, {703, "AAA"}, {0, ""}};
    for (const auto& [column, text] : letters)
        EXPECT_EQ(HeaderMap::columnLetters(column), QLatin1String(text)) << column;

    const QStringList headers{QStringLiteral("工号"), QStringLiteral("姓名"), QStringLiteral("备用")};
    const struct {
        int slot;
        const char* box;
        const QStringList* headers;
        const char* remembered;
        const char* text;
        bool suspect;
    } notes[] = {
        {2, "2", &headers, "", "B 姓名", false},
        {2, "", &headers, "", "", false},
        {2, "x1", &headers, "", "「x1」不是列号：请填列号（1 是 A 列）或列字母（A、B、AA）", true},
        {3, "1", &headers, "", "A 工号\nA 列的表头「工号」是「员工编号」，不是「性别」：请检查列号", true},
        {3, "3", &headers, "性别", "C 备用\n上次这一列的表头是「性别」，这个文件是「备用」：请检查列号", true},
        {3, "3", &headers, "", "C 备用", false},
        {3, "9", &headers, "", "I", false},
        {3, "0", &headers, "", "「0」不是列号：列号从 1 开始，1 是 A 列", true},
        {3, "-2", nullptr, "", "「-2」不是列号：列号从 1 开始，1 是 A 列", true},
        {3, "4", nullptr, "性别", "D 性别", false},
    };
    for (const auto& n : notes) {
        const HeaderMap::BoxNote note = HeaderMap::noteForBox(n.slot, QString::fromUtf8(n.box), n.headers,
                                                              QString::fromUtf8(n.remembered));
        EXPECT_EQ(note.text, QString::fromUtf8(n.text)) << n.slot << " " << n.box;
        EXPECT_EQ(note.suspect, n.suspect) << n.slot << " " << n.box;
    }
}
