#include "import/window/RunProgress.h"

#include <gtest/gtest.h>

// The status line, the close question and the summary, at the moments of a
// run that change what they say.
TEST(RunProgressTest, TextsFollowThePassTheCountsAndTheClock)
{
    struct Case {
        RunProgress::Kind kind;
        ImportView::Progress at;
        qint64 nowMs;
        const char* status;
    };
    using K = RunProgress::Kind;
    const Case cases[] = {
        {K::Import, {false, 1234, 0, 0}, 500, "正在核对部门（已读 1,234 行），已用 0:00"},
        {K::Import, {true, 12345, 65535, 120}, 1999, "正在导入 12,345 / 65,535 行（未导入 120），已用 0:01"},
        // Steady after two seconds: the rate, and the time left rounded up.
        {K::Import, {true, 12345, 65535, 120}, 12000,
         "正在导入 12,345 / 65,535 行（未导入 120），已用 0:12，每秒 1,028 行，还需约 0:52"},
        {K::Check, {true, 65535, 65535, 0}, 3725000, "正在检查 65,535 / 65,535 行，已用 1:02:05，每秒 17 行，还需约 0:00"},
        {K::Check, {true, 10, 20, 3}, 100, "正在检查 10 / 20 行（不能导入 3），已用 0:00"},
    };
    for (const Case& c : cases) {
        RunProgress p;
        p.start(c.kind, 0);
        p.update(c.at);
        EXPECT_EQ(p.statusText(c.nowMs), QString::fromUtf8(c.status));
    }

    RunProgress p;
    p.start(K::Import, 1000);
    p.update({false, 300, 0, 0});
    EXPECT_EQ(p.closeQuestion(), "正在导入（正在核对部门，已读 300 行），确定停止吗？已导入的资料会保留。");
    EXPECT_EQ(p.stoppedSummary(0, 0), "已导入 0 人，未导入 0 人，工作表的行都没有处理");
    p.update({true, 12345, 65535, 120});
    EXPECT_EQ(p.closeQuestion(), "正在导入（12,345 / 65,535 行），确定停止吗？已导入的资料会保留。");
    EXPECT_EQ(p.stoppedSummary(12225, 120), "已导入 12225 人，未导入 120 人，未处理 53190 行");
    EXPECT_EQ(p.percent(), 18);

    // Events are looked at every 50 ms, whatever the rows.
    EXPECT_FALSE(p.breathDue(1049));
    EXPECT_TRUE(p.breathDue(1050));
    EXPECT_FALSE(p.breathDue(1099));
    EXPECT_TRUE(p.breathDue(1100));
}
