#pragma once

#include "import/ImportRun.h"
#include "import/WorkerWriter.h"

#include <memory>

// The import as a check: the whole run (department pass, then every row
// through the real writer) inside one transaction that is rolled back at the
// end, so that it finds exactly the rows the import would refuse, with the
// same reasons, a worker number repeated inside the workbook included, and
// leaves the database, counters included, as it was. No duplicate box; the
// chosen file stays chosen; the run's success box gives way to
// "检查完成：可导入 X 人，不能导入 Y 人".
class ImportCheck {
public:
    ImportCheck(ImportView& view, ImportRow& row);
    ~ImportCheck();

    RunEnd run();
    const ImportRun& lastRun() const { return *run_; }

private:
    class View;
    std::unique_ptr<View> view_;
    WorkerWriter writer_{WriteSession::End::RollBack};
    std::unique_ptr<ImportRun> run_;
};
