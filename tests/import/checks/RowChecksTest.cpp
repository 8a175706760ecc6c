#include "import/checks/IdNumber.h"
#include "import/checks/RowChecks.h"

#include <gtest/gtest.h>

#include <functional>

namespace {
const QDate kToday(2026, 12, 10);

// The check character as the standard computes it, written out here again.
QString withCheck(const QString& first17)
{
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    static const char byRemainder[] = "10X98765432";
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += first17[i].digitValue() * weights[i];
    return first17 + QChar::fromLatin1(byRemainder[sum % 11]);
}

// The first number of the series 1101051990051210s whose check is `want`.
QString endingIn(char want)
{
    for (int seq = 0; seq < 100; ++seq) {
        const QString n = withCheck(QStringLiteral("1101051990051210%1").arg(seq % 10));
        if (n.endsWith(QChar::fromLatin1(want)))
            return n;
    }
    return {};
}

QString wrongCheck(const QString& n)
{
    return n.left(17) + (n[17] == u'3' ? u'4' : u'3');
}
} // namespace

TEST(IdNumberTest, ReadsNumbersAsTheStandardWritesThem)
{
    using Kind = IdNumber::Reading::Kind;
    const QString withX = endingIn('X');
    ASSERT_FALSE(withX.isEmpty());
    const struct {
        QString text;
        Kind kind;
        const char* birth;
        bool male;
        bool oldForm;
    } cases[] = {
        {withCheck(QStringLiteral("11010519491231002")), Kind::Valid, "1949-12-31", false, false},
        {withCheck(QStringLiteral("44010219800101001")), Kind::Valid, "1980-01-01", true, false},
        {withX, Kind::Valid, "1990-05-12", withX[16].digitValue() % 2 == 1, false},
        {wrongCheck(withCheck(QStringLiteral("11010519491231002"))), Kind::BadCheckChar, "1949-12-31", false, false},
        {withCheck(QStringLiteral("11010519900230001")), Kind::BadDate, "", false, false},
        {withCheck(QStringLiteral("11010520301231001")), Kind::FutureDate, "2030-12-31", true, false},
        {QStringLiteral("110105491231003"), Kind::Valid, "1949-12-31", true, true},
        {QStringLiteral("110105491331003"), Kind::BadDate, "", false, true},
        {QStringLiteral("1101054912310"), Kind::WrongForm, "", false, false},
        {withCheck(QStringLiteral("11010519491231002")).left(17) + u'Y', Kind::WrongForm, "", false, false},
        {QStringLiteral("11010519491231002X1"), Kind::WrongForm, "", false, false},
        {QStringLiteral("11010549123100A"), Kind::WrongForm, "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const IdNumber::Reading r = IdNumber::read(c.text, kToday);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.oldForm, c.oldForm);
        if (*c.birth) {
            EXPECT_EQ(r.birth.toString(Qt::ISODate), QLatin1String(c.birth));
            if (c.kind == Kind::Valid) {
                EXPECT_EQ(r.male, c.male);
            }
        }
        if (c.kind == Kind::BadCheckChar) {
            EXPECT_EQ(r.expected, withCheck(c.text.left(17))[17]);
            EXPECT_EQ(r.given, c.text[17]);
        }
    }
    // Full-width digits, a lower-case or full-width x and blanks the reader
    // leaves become the standard's form.
    QString wide;
    for (QChar ch : withX.left(17))
        wide += QChar(0xFF10 + ch.digitValue());
    EXPECT_EQ(IdNumber::normalised(QChar(0x3000) + wide + u'ｘ' + QChar(0x00A0)), withX);
    EXPECT_EQ(IdNumber::normalised(withX.left(17) + u'x'), withX);
}

TEST(RowChecksTest, FindsEachProblemInItsCellWithTheRightLevelAndWords)
{
    using Level = CellProblem::Level;
    const QString man = withCheck(QStringLiteral("44010219800101001")); // 男, 1980-01-01
    RowChecks::Columns columns{};
    for (int k = 0; k < ImportRow::SlotCount; ++k)
        columns[size_t(k)] = k + 1;
    struct Expected {
        int slot;
        Level level;
        const char* reason;
    };
    const struct Case {
        const char* what;
        std::function<void(ImportRow&)> fill;
        RowChecks::Options options;
        QList<Expected> expected;
    } cases[] = {
        {"clean", [](ImportRow&) {}, {}, {}},
        {"no name", [](ImportRow& r) { r.Wname.clear(); }, {}, {{2, Level::Refusal, "姓名为空（B列）"}}},
        {"an update: only what it writes", [](ImportRow& r) {
             r.Wname.clear();
             r.BIrThday = QStringLiteral("1990-13-45");
             r.BaseWage = QStringLiteral("-1");
         }, {false, false, false}, {{22, Level::Warning, "基本工资(V列)「-1」是负数"}}},
        {"wrong check char", [&](ImportRow& r) { r.IdNumber = wrongCheck(man); }, {},
         {{9, Level::Warning, "身份证号码校验位应为 %1，表中为 %2"}}},
        {"wrong check char, strict", [&](ImportRow& r) { r.IdNumber = wrongCheck(man); }, {true},
         {{9, Level::Refusal, "身份证号码校验位应为 %1，表中为 %2"}}},
        {"short id", [](ImportRow& r) { r.IdNumber = QStringLiteral("12345"); }, {},
         {{9, Level::Warning, "身份证号码应为 18 位（I列「12345」）"}}},
        {"birthday and sex disagree", [](ImportRow& r) {
             r.BIrThday = QStringLiteral("1980/1/2");
             r.Sex = QStringLiteral("女");
         }, {},
         {{6, Level::Warning, "出生日期与身份证号码不符（身份证为 1980-01-01）（F列「1980/1/2」）"},
          {3, Level::Warning, "性别与身份证号码不符（身份证为 男）（C列「女」）"}}},
        {"filled from the id", [](ImportRow& r) { r.BIrThday.clear(); r.Sex.clear(); }, {false, true},
         {{6, Level::Filled, "出生日期由身份证号码补全为 1980-01-01"}, {3, Level::Filled, "性别由身份证号码补全为 男"}}},
        {"not filled unasked", [](ImportRow& r) { r.BIrThday.clear(); r.Sex.clear(); }, {}, {}},
        {"bad date", [](ImportRow& r) { r.BIrThday = QStringLiteral("1990-13-45"); }, {},
         {{6, Level::Refusal, "出生日期(F列)「1990-13-45」不是有效日期"}}},
        {"future birthday", [](ImportRow& r) { r.BIrThday = QStringLiteral("2030-01-01"); r.IdNumber.clear(); r.BeginDate.clear(); }, {},
         {{6, Level::Warning, "出生日期(F列)「2030-01-01」在今天之后"}}},
        {"joined before birth", [](ImportRow& r) { r.BeginDate = QStringLiteral("1979-12-31"); }, {},
         {{23, Level::Warning, "入职日期(W列)「1979-12-31」早于出生日期"}}},
        {"joined at 15", [](ImportRow& r) { r.BeginDate = QStringLiteral("1995-12-31"); }, {},
         {{23, Level::Warning, "入职日期(W列)「1995-12-31」入职时未满 16 岁"}}},
        {"mobile", [](ImportRow& r) { r.Worktel1 = QStringLiteral("2381234567"); }, {},
         {{8, Level::Warning, "手机号码(H列)「2381234567」不是 1 开头的 11 位手机号码"}}},
        {"negative wage", [](ImportRow& r) { r.BaseWage = QStringLiteral("-100"); }, {},
         {{22, Level::Warning, "基本工资(V列)「-100」是负数"}}},
        {"a worker number of blanks", [](ImportRow& r) { r.Workerid = QString(QChar(0x3000)); }, {},
         {{1, Level::Warning, "首尾有空格，已去掉"}, {1, Level::Refusal, "工号为空（A列）"}}},
        {"wide worker number", [](ImportRow& r) { r.Workerid = QStringLiteral("w００１") + QChar(0x3000); }, {},
         {{1, Level::Warning, "员工编号(A列)「w００１\u3000」首尾有空格，已去掉，含全角数字，已转为半角"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportRow row;
        row.Workerid = QStringLiteral("W001");
        row.Wname = QStringLiteral("张三");
        row.Sex = QStringLiteral("男");
        row.BIrThday = QStringLiteral("1980-01-01");
        row.IdNumber = man;
        row.Worktel1 = QStringLiteral("13800138000");
        row.BeginDate = QStringLiteral("2001-01-01");
        c.fill(row);
        RowChecks::Options options = c.options;
        options.today = kToday;
        const QList<CellProblem> found = RowChecks::check(row, 12, columns, options);
        ASSERT_EQ(found.size(), c.expected.size());
        for (qsizetype i = 0; i < found.size(); ++i) {
            QString want = QString::fromUtf8(c.expected[i].reason);
            if (want.contains(QLatin1String("%1")))
                want = want.arg(man[17]).arg(wrongCheck(man)[17]);
            EXPECT_EQ(found[i].slot, c.expected[i].slot);
            EXPECT_EQ(found[i].level, c.expected[i].level);
            EXPECT_TRUE(found[i].reason.contains(want)) << found[i].reason.toStdString();
            EXPECT_EQ(found[i].sheetRow, 12);
            EXPECT_EQ(found[i].column, c.expected[i].slot);
        }
    }
}

TEST(RowChecksTest, MendsKeysAndNamesTheRowAndTheWritersField)
{
    RowChecks::Columns columns{};
    columns[0] = 3;  // 工号 in C
    columns[5] = 28; // 出生日期 in AB
    ImportRow row;
    row.Workerid = QStringLiteral("ab１２");
    row.Wname = QStringLiteral("李四");
    row.IdNumber = withCheck(QStringLiteral("11010519491231002")).left(17) + u'x'; // mended without a word
    const QList<CellProblem> found = RowChecks::check(row, 7, columns, {});
    EXPECT_EQ(row.Workerid, "ab12"); // letters as written
    EXPECT_EQ(row.IdNumber, withCheck(QStringLiteral("11010519491231002")).left(17) + u'X');
    EXPECT_EQ(RowChecks::rowReason(7, found), QStringLiteral("第 7 行 员工编号(C列)「ab１２」含全角数字，已转为半角"));

    row.BIrThday = QStringLiteral("1990-02-30");
    const CellProblem w = RowChecks::fromWriterReason(
        QStringLiteral("「出生日期」的值「1990-02-30」不是日期\nCHECK constraint failed: BIrThday"), row, 7, columns);
    EXPECT_EQ(w.slot, 6);
    EXPECT_EQ(w.column, 28);
    EXPECT_EQ(w.reason, QStringLiteral("「出生日期」的值「1990-02-30」不是日期（AB列「1990-02-30」）"));
    EXPECT_EQ(w.detail, QStringLiteral("CHECK constraint failed: BIrThday"));
    EXPECT_EQ(RowChecks::repeated(row, 9, 4, columns).reason, QStringLiteral("工号与第 4 行重复（C列「ab12」）"));
}

// Numbers fold to one case as Qt folds them, ASCII ones on a shorter path.
TEST(RowChecksTest, RepeatedNumbersAreFoundWhateverTheirCase)
{
    const QString longKey = QString(70, u'A') + u'1';
    const struct {
        QString a, b;
        bool same;
    } cases[] = {
        {QStringLiteral("W0001"), QStringLiteral("w0001"), true},
        {QStringLiteral("W0001"), QStringLiteral("W0002"), false},
        {QString::fromUtf16(u"\u212A1"), QStringLiteral("k1"), true},  // KELVIN SIGN folds to k
        {QStringLiteral("É1"), QStringLiteral("é1"), true},
        {longKey, longKey.toLower(), true},
        {QStringLiteral("a-1"), QStringLiteral("A_1"), false},
    };
    for (const auto& c : cases) {
        RowChecks::SeenWorkerids seen;
        seen.stored(c.a, 7);
        EXPECT_EQ(seen.earlierRow(c.b), c.same ? 7 : 0) << c.a.toStdString() << " / " << c.b.toStdString();
    }
}
