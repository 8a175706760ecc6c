#include "import/ImportCheck.h"

#include "platform/Dialogs.h"

namespace {
// Every box passes but the run's one information box, its success: the
// check ends with its own.
class CheckDialogs : public ForwardingDialogs {
public:
    using ForwardingDialogs::ForwardingDialogs;
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override
    {
        if (icon != MsgIcon::Information)
            inner_.messageBox(text, caption, icon);
    }
};
} // namespace

// The window as the check uses it: all of it but the end of a successful
// run, which would clear the chosen file and count rows as imported.
class ImportCheck::View : public ImportView {
public:
    explicit View(ImportView& inner)
        : inner_(inner)
    {
    }
    const QString& mapText(int slot) const override { return inner_.mapText(slot); }
    QString pathText() const override { return inner_.pathText(); }
    void clearPath() override {}
    void clearList() override { inner_.clearList(); }
    void addListLine(const QString& line, const QString& reason) override { inner_.addListLine(line, reason); }
    void setProgress(int value) override { inner_.setProgress(value); }
    int importMode() const override { return inner_.importMode(); }
    void reopenStaging() override { inner_.reopenStaging(); }
    void processMessages() override { inner_.processMessages(); }
    bool stopRequested() const override { return inner_.stopRequested(); }
    void runFinished(int, int) override {}
    void mapAccepted() override { inner_.mapAccepted(); }
    void openWorkbook(SpreadsheetLink& link, const QString& path) override { inner_.openWorkbook(link, path); }
    QString sheetChoice() const override { return inner_.sheetChoice(); }
    int headerRow() const override { return inner_.headerRow(); }
    bool askToGoOn(const QString& question) override { return inner_.askToGoOn(question); }
    void rowsDone(const Progress& progress) override { inner_.rowsDone(progress); }
    void rowRefused(int sheetRow, const ImportRow& row, const QString& line, const QString& reason) override
    {
        inner_.rowRefused(sheetRow, row, line, reason);
    }
    CheckSettings checkSettings() const override { return inner_.checkSettings(); }
    void cellProblem(const CellProblem& problem) override { inner_.cellProblem(problem); }
    ImportView& inner() { return inner_; }

private:
    ImportView& inner_;
};

ImportCheck::ImportCheck(ImportView& view, ImportRow& row)
    : view_(std::make_unique<View>(view))
    , run_(std::make_unique<ImportRun>(*view_, row, writer_))
{
}

ImportCheck::~ImportCheck() = default;

RunEnd ImportCheck::run()
{
    RunEnd end;
    {
        CheckDialogs quiet(Dialogs::seam());
        struct Restore {
            DialogSeam* seam;
            ~Restore() { Dialogs::install(seam); }
        } restore{Dialogs::install(&quiet)};
        end = run_->SBSaveClick();
    }
    if (end == RunEnd::Succeeded) {
        view_->inner().checkFinished(run_->imported(), run_->notImported());
        Dialogs::messageBox(QStringLiteral("检查完成：可导入 %1 人，不能导入 %2 人").arg(run_->imported()).arg(run_->notImported()),
                            QStringLiteral("提示"), MsgIcon::Information);
    }
    return end;
}
