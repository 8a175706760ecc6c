#pragma once

#include "import/ImportRun.h"
#include "import/WorkerWriter.h"

#include <QStringList>

#include <array>

// A window stand-in that records what the run does to it.
class RecordingView : public ImportView {
public:
    std::array<QString, ImportRow::SlotCount> boxes;
    QString path;
    QStringList list;
    QStringList reasons;
    QList<int> progress;
    int stagingReopened = 0;
    int messagesProcessed = 0;
    int mode = 0;
    bool listCleared = false;
    std::function<void(RecordingView&)> onProcessMessages;
    bool stop = false;
    int finishedImported = -1, finishedNotImported = -1;
    CheckSettings settings;
    QList<CellProblem> problems;

    // The whole map: box k names column k.
    void mapAll()
    {
        for (int k = 1; k <= ImportRow::SlotCount; ++k)
            boxes[size_t(k - 1)] = QString::number(k);
    }

    const QString& mapText(int slot) const override { return boxes[size_t(slot - 1)]; }
    QString pathText() const override { return path; }
    void clearPath() override { path.clear(); }
    void clearList() override
    {
        list.clear();
        reasons.clear();
        listCleared = true;
    }
    void addListLine(const QString& line, const QString& reason) override
    {
        list << line;
        reasons << reason;
    }
    void setProgress(int value) override { progress << value; }
    int importMode() const override { return mode; }
    void reopenStaging() override { ++stagingReopened; }
    void processMessages() override
    {
        ++messagesProcessed;
        if (onProcessMessages)
            onProcessMessages(*this);
    }
    bool stopRequested() const override { return stop; }
    CheckSettings checkSettings() const override { return settings; }
    void cellProblem(const CellProblem& problem) override { problems << problem; }
    void runFinished(int imported, int notImported) override
    {
        finishedImported = imported;
        finishedNotImported = notImported;
    }
};

inline QString importFixture(const char* name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/import/") + QString::fromUtf8(name);
}

// The run as the window makes it, over a RecordingView and the real writer.
struct ImportHarness {
    RecordingView view;
    ImportRow row;
    WorkerWriter writer;
    int imported = 0;
    int notImported = 0;

    RunEnd run()
    {
        ImportRun r(view, row, writer);
        const RunEnd end = r.SBSaveClick();
        imported = r.imported();
        notImported = r.notImported();
        return end;
    }
};
