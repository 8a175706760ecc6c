#pragma once

#include "import/ImportRun.h"

#include <QString>

// Where a check or an import in the window stands, in the words the status
// line shows ("正在导入 12,345 / 65,535 行（未导入 120）", the elapsed time,
// the rate and the time left once it is steady), and when the window may
// next give the event loop time: by elapsed time, never per row, so that a
// run refusing every row costs what the command-line tool's run costs.
// Times are passed in (milliseconds on one clock) so the texts are tested
// without waiting.
class RunProgress {
public:
    enum class Kind { Check, Import };

    // Between two rounds of event processing.
    static constexpr qint64 kBreathMs = 50;
    // The rate and the time left show after this long.
    static constexpr qint64 kSteadyMs = 2000;

    void start(Kind kind, qint64 nowMs);
    void update(const ImportView::Progress& progress) { progress_ = progress; }
    // True (and counted from now) when the window should handle events.
    bool breathDue(qint64 nowMs);

    Kind kind() const { return kind_; }
    const ImportView::Progress& progress() const { return progress_; }
    int percent() const;
    // Rows of the workbook not yet handled (0 before the total is known).
    int rowsLeft() const;

    QString statusText(qint64 nowMs) const;
    // "正在导入（12,345 / 65,535 行），确定停止吗？已导入的资料会保留。"
    QString closeQuestion() const;
    // "已导入 X 人，未导入 Y 人，未处理 Z 行"
    QString stoppedSummary(int imported, int notImported) const;

    // 65535 -> "65,535"; seconds -> "1:05" or "1:02:05".
    static QString grouped(qint64 n);
    static QString duration(qint64 seconds);

private:
    Kind kind_ = Kind::Import;
    ImportView::Progress progress_;
    qint64 startMs_ = 0;
    qint64 lastBreathMs_ = 0;
};
