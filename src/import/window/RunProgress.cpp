#include "import/window/RunProgress.h"

#include <algorithm>

void RunProgress::start(Kind kind, qint64 nowMs)
{
    kind_ = kind;
    progress_ = {};
    startMs_ = lastBreathMs_ = nowMs;
}

bool RunProgress::breathDue(qint64 nowMs)
{
    if (nowMs - lastBreathMs_ < kBreathMs)
        return false;
    lastBreathMs_ = nowMs;
    return true;
}

int RunProgress::percent() const
{
    if (!progress_.writing || progress_.total <= 0)
        return 0;
    return int(qint64(progress_.done) * 100 / progress_.total);
}

int RunProgress::rowsLeft() const
{
    return progress_.writing ? std::max(0, progress_.total - progress_.done) : 0;
}

QString RunProgress::grouped(qint64 n)
{
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return n < 0 ? u'-' + digits : digits;
}

QString RunProgress::duration(qint64 seconds)
{
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar(u'0'));
}

QString RunProgress::statusText(qint64 nowMs) const
{
    const ImportView::Progress& p = progress_;
    const bool check = kind_ == Kind::Check;
    QString text;
    if (!p.writing) {
        text = QStringLiteral("正在核对部门（已读 %1 行）").arg(grouped(p.done));
    } else {
        text = QStringLiteral("%1 %2 / %3 行")
                   .arg(check ? QStringLiteral("正在检查") : QStringLiteral("正在导入"), grouped(p.done), grouped(p.total));
        if (!check)
            text += QStringLiteral("（未导入 %1）").arg(grouped(p.refused));
        else if (p.refused > 0)
            text += QStringLiteral("（不能导入 %1）").arg(grouped(p.refused));
    }
    const qint64 elapsed = nowMs - startMs_;
    text += QStringLiteral("，已用 %1").arg(duration(elapsed / 1000));
    if (p.writing && elapsed >= kSteadyMs && p.done > 0) {
        const qint64 perSecond = qint64(p.done) * 1000 / elapsed;
        text += QStringLiteral("，每秒 %1 行").arg(grouped(perSecond));
        if (perSecond > 0)
            text += QStringLiteral("，还需约 %1").arg(duration((rowsLeft() + perSecond - 1) / perSecond));
    }
    return text;
}

QString RunProgress::closeQuestion() const
{
    const ImportView::Progress& p = progress_;
    const QString where = p.writing ? QStringLiteral("%1 / %2 行").arg(grouped(p.done), grouped(p.total))
                                    : QStringLiteral("正在核对部门，已读 %1 行").arg(grouped(p.done));
    return QStringLiteral("正在导入（%1），确定停止吗？已导入的资料会保留。").arg(where);
}

QString RunProgress::stoppedSummary(int imported, int notImported) const
{
    QString text = QStringLiteral("已导入 %1 人，未导入 %2 人").arg(imported).arg(notImported);
    if (progress_.writing)
        text += QStringLiteral("，未处理 %1 行").arg(rowsLeft());
    else
        text += QStringLiteral("，工作表的行都没有处理");
    return text;
}
