// ostrel-import-cli import: the import run of the window, without a window.

#include "cli/Command.h"
#include "cli/CliSession.h"
#include "cli/SheetOptions.h"
#include "data/UserDMUnit.h"
#include "import/HeaderMap.h"
#include "import/ImportCheck.h"
#include "import/ImportRun.h"
#include "import/RejectsExport.h"
#include "import/SpreadsheetLink.h"
#include "import/StagingQuery.h"
#include "import/WorkerWriter.h"
#include "import/XlsxOut.h"
#include "login/LoginCheck.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Shell.h"
#include "records/RunRecorder.h"
#include "services/userGlobal.h"

#include <QFileInfo>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char* kSynopsis = "import --workbook FILE --map MAP [--sheet NAME|N] [--header-row N|auto] [--db FILE | --settings-dir DIR] [--user ID] "
                        "[--password-stdin] [--check] [--mode add|update] [--rejects FILE.xlsx [--force]] [--timings] "
                        "[--strict-id] [--fill-from-id] [--report FILE.xlsx]";

void declare(QCommandLineParser& p)
{
    p.addOptions({
        {QStringLiteral("workbook"), QStringLiteral("The workbook to import (.xls, .xlsx, .ods, .csv). Required."),
         QStringLiteral("FILE")},
        {QStringLiteral("map"),
         QStringLiteral("Which worksheet column holds each of the 31 fields. Required. Either 31 comma-separated "
                        "values, the texts of the window's boxes 1 to 31 in order, or NAME=VALUE pairs where NAME is "
                        "a box (Edt1 to Edt31) or a field (Workerid, Wname, DepName, ...); a column is its number or "
                        "its letter (Workerid=A,Wname=B,DepName=Q). auto takes the map the workbook's header "
                        "suggests."),
         QStringLiteral("MAP")},
        {QStringLiteral("db"), QStringLiteral("Imports into this local database file, ignoring the settings file."),
         QStringLiteral("FILE")},
        {QStringLiteral("settings-dir"),
         QStringLiteral("Reads the connection settings as a program installed in DIR would."), QStringLiteral("DIR")},
        {QStringLiteral("user"), QStringLiteral("The login id. Needed when the database has users."),
         QStringLiteral("ID")},
        {QStringLiteral("password-stdin"), QStringLiteral("Reads the password from the first line of standard input.")},
        {QStringLiteral("check"),
         QStringLiteral("Runs the whole import and rolls it back: lists exactly the rows the import would refuse, "
                        "writes nothing, and ends with status 3 when there is one.")},
        {QStringLiteral("mode"),
         QStringLiteral("add (the default) stores new employees; update changes employees already stored, by worker "
                        "number."),
         QStringLiteral("add|update")},
        {QStringLiteral("rejects"),
         QStringLiteral("Writes the rows not imported, each with a last column 未导入原因, to be corrected and "
                        "imported again with the same map."),
         QStringLiteral("FILE.xlsx")},
        {QStringLiteral("force"), QStringLiteral("Lets --rejects replace a file that exists.")},
        {QStringLiteral("timings"), QStringLiteral("Adds a line with the number of rows and the time each pass took.")},
        {QStringLiteral("strict-id"),
         QStringLiteral("Does not import a row whose identity number is wrong (check character, date, or "
                        "disagreement with the birth date or sex); otherwise such a row is imported with a warning.")},
        {QStringLiteral("fill-from-id"),
         QStringLiteral("Takes an empty birth date or sex from a valid identity number.")},
        {QStringLiteral("report"),
         QStringLiteral("Writes the whole sheet as the import read it, each problem cell coloured (red: not "
                        "imported, amber: a warning) and a last column 问题 with the row's reasons; --force lets it "
                        "replace a file."),
         QStringLiteral("FILE.xlsx")},
    });
    SheetOptions::declare(p, true);
}

using Boxes = std::array<QString, ImportRow::SlotCount>;

// The map the workbook's header suggests ("--map auto"); false, with the
// reason on standard error, when it cannot be had.
bool suggestedMap(const QString& workbook, const SheetOptions& sheet, Boxes& boxes)
{
    SpreadsheetLink link;
    int headerRow = 1;
    try {
        headerRow = sheet.openHead(link, workbook);
    } catch (const std::exception& e) {
        cliError(cannotOpenWorkbookText(workbook, errorText(e)));
        return false;
    }
    const HeaderMap::Columns columns = HeaderMap::suggest(HeaderMap::readHeaderRow(link, headerRow));
    const QStringList missing = HeaderMap::missingRequired(columns);
    if (!missing.isEmpty()) {
        QString text = HeaderMap::missingMessage(missing);
        const QString other = HeaderMap::otherSheetWithHeader(link);
        if (!other.isEmpty())
            text += u'\n' + HeaderMap::otherSheetHint(other, QStringLiteral("请加上 --sheet %1").arg(other));
        cliError(text);
        return false;
    }
    for (size_t k = 0; k < boxes.size(); ++k)
        boxes[k] = columns[k] > 0 ? QString::number(columns[k]) : QString();
    return true;
}

// A column letter becomes its number, as a box keeps it; anything else
// stays for the map check to name.
QString asColumnNumber(const QString& text)
{
    int column = 0;
    return HeaderMap::parseColumn(text, column) && column >= 1 ? HeaderMap::columnText(column) : text;
}

// MAP: 31 comma-separated box texts (Edt1..Edt31), or NAME=VALUE pairs with
// NAME "EdtK" or the field name.
Boxes parseMap(const QString& map)
{
    Boxes boxes;
    const QStringList parts = map.split(u',');
    if (!map.contains(u'=')) {
        if (parts.size() != ImportRow::SlotCount)
            throw CliUsageError(QStringLiteral("--map 要么是用逗号分开的 31 个列号（Edt1 到 Edt31），要么是 名称=列号；现在有 %1 个。")
                                 .arg(parts.size()));
        for (int k = 0; k < ImportRow::SlotCount; ++k)
            boxes[size_t(k)] = asColumnNumber(parts[k]);
        return boxes;
    }
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            throw CliUsageError(QStringLiteral("--map 里的「%1」不是 名称=列号。").arg(part));
        const QString name = part.left(eq).trimmed();
        int slot = 0;
        for (const ImportSlot& s : importSlots()) {
            if (name.compare(QStringLiteral("Edt%1").arg(s.slot), Qt::CaseInsensitive) == 0
                || name.compare(QLatin1String(s.column), Qt::CaseInsensitive) == 0)
                slot = s.slot;
        }
        if (slot == 0)
            throw CliUsageError(QStringLiteral("--map 里没有「%1」这个栏目。").arg(name));
        boxes[size_t(slot - 1)] = asColumnNumber(part.mid(eq + 1));
    }
    return boxes;
}

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

// Boxes become "CAPTION: TEXT" lines; the progress line is ended first.
class CliDialogs : public StderrDialogs {
public:
    bool progressShown = false;

    void endProgress()
    {
        if (progressShown) {
            std::fputs("\n", stderr);
            progressShown = false;
        }
    }
    // The import's own success box: the command ends with its result line.
    bool quietSuccess = false;

    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override
    {
        if (quietSuccess && icon == MsgIcon::Information)
            return;
        endProgress();
        StderrDialogs::messageBox(text, caption, icon);
    }
    bool confirm(const QString&) override { return false; }
};

class CliView : public ImportView {
public:
    CliView(const Boxes& boxes, const QString& path, int mode, CliDialogs& dialogs, const SheetOptions& sheet)
        : boxes_(boxes)
        , path_(path)
        , mode_(mode)
        , dialogs_(dialogs)
        , progress_(stderrIsTerminal())
        , sheet_(sheet)
    {
    }

    QString sheetChoice() const override { return sheet_.sheet; }
    int headerRow() const override { return headerRow_; }
    void openWorkbook(SpreadsheetLink& link, const QString& path) override { headerRow_ = sheet_.open(link, path); }
    // Nobody to ask: the question is said, and the run goes on.
    bool askToGoOn(const QString& question) override
    {
        dialogs_.messageBox(question, QStringLiteral("提示"), MsgIcon::None);
        return true;
    }

    const QString& mapText(int slot) const override { return boxes_[size_t(slot - 1)]; }
    QString pathText() const override { return path_; }
    void clearPath() override { path_.clear(); }
    void clearList() override {}
    void addListLine(const QString& line, const QString& reason) override
    {
        // One line per row: a driver's text may span several lines.
        QString oneLine = reason;
        oneLine.replace(QLatin1String(";\n"), QLatin1String("; ")).replace(u'\n', u' ');
        const QByteArray bytes = (line + u'\t' + oneLine + u'\n').toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    }
    void setProgress(int value) override
    {
        value = qBound(0, value, 100);
        if (!progress_ || value == last_)
            return;
        last_ = value;
        const int filled = value * 40 / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(40 - filled), ' ').c_str(), value);
        std::fflush(stderr);
        dialogs_.progressShown = true;
    }
    int importMode() const override { return mode_; }
    CheckSettings checkSettings() const override { return settings; }
    void cellProblem(const CellProblem& problem) override
    {
        if (keepProblems)
            problems << problem;
    }
    CheckSettings settings;
    bool keepProblems = false; // for --report
    QList<CellProblem> problems;
    void reopenStaging() override
    {
        Query staging(UserDM->ADOConnection1);
        for (const QString& l : stagingQuerySql())
            staging.add(l);
        staging.open();
        staging.close();
    }
    void processMessages() override {}

private:
    Boxes boxes_;
    QString path_;
    int mode_;
    CliDialogs& dialogs_;
    bool progress_;
    int last_ = -1;
    SheetOptions sheet_;
    int headerRow_ = 1;
};

int run(const QCommandLineParser& opts)
{
    if (!opts.isSet(QStringLiteral("workbook")) || !opts.isSet(QStringLiteral("map"))
        || !opts.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("请用 --workbook 给出表格文件，用 --map 给出列的对应。"));
    if (opts.isSet(QStringLiteral("db")) && opts.isSet(QStringLiteral("settings-dir")))
        throw CliUsageError(QStringLiteral("--db 和 --settings-dir 只能用一个。"));
    const QString mode = opts.isSet(QStringLiteral("mode")) ? opts.value(QStringLiteral("mode")) : QStringLiteral("add");
    if (mode != QLatin1String("add") && mode != QLatin1String("update"))
        throw CliUsageError(QStringLiteral("--mode 只能是 add（新增）或 update（更新）。"));
    const QString workbook = QFileInfo(opts.value(QStringLiteral("workbook"))).absoluteFilePath();
    const SheetOptions sheet = SheetOptions::of(opts);
    Boxes boxes;
    if (opts.value(QStringLiteral("map")) == QLatin1String("auto")) {
        if (!suggestedMap(workbook, sheet, boxes))
            return CliFailed;
    } else {
        boxes = parseMap(opts.value(QStringLiteral("map")));
    }
    const bool check = opts.isSet(QStringLiteral("check"));

    CliDialogs dialogs;
    dialogs.quietSuccess = !check;
    CliDataModule module(dialogs);
    TUserDM& dm = module.dm;


    if (!connectCliDatabase(opts, dm))
        return CliFailed;

    // Before the run: a target the export would refuse costs no import.
    for (const QString& target : {QStringLiteral("rejects"), QStringLiteral("report")}) {
        if (!opts.isSet(target))
            continue;
        const QString out = opts.value(target);
        try {
            XlsxOut::refuseProtected(out, {workbook});
            if (QFileInfo::exists(out) && !opts.isSet(QStringLiteral("force")))
                throw Error(QStringLiteral("文件「%1」已经存在，没有导入。要替换它，请加 --force。").arg(out));
        } catch (const Error& e) {
            cliError(e.text());
            return CliFailed;
        }
    }

    SetLoginDateFormats();

    if (!logInCli(opts))
        return CliFailed;

    ImportRow row;
    WorkerWriter writer;
    CliView view(boxes, workbook, mode == QLatin1String("update") ? 1 : 0, dialogs, sheet);
    view.settings = {opts.isSet(QStringLiteral("strict-id")), opts.isSet(QStringLiteral("fill-from-id"))};
    view.keepProblems = opts.isSet(QStringLiteral("report"));
    RunRecorder recorder(dm.ADOConnection1, view);
    // Only for the benchmark, which measures what keeping the record costs.
    if (!check && !qEnvironmentVariableIsSet("OSTREL_BENCH_NO_RECORDS")) {
        writer.setRecorder(&recorder);
        recorder.runComing();
    }
    ImportRun realRun(view, row, writer);
    ImportCheck checkRun(view, row);
    const ImportRun& importRun = check ? checkRun.lastRun() : realRun;
    const RejectsExport::Source source = RejectsExport::Source::of(workbook);
    const RunEnd end = check ? checkRun.run() : realRun.SBSaveClick();
    if (!check)
        recorder.runEnded(end, realRun.imported(), realRun.notImported());
    dialogs.endProgress();

    const bool wrote = end == RunEnd::Succeeded || end == RunEnd::WritePassFailed || end == RunEnd::Stopped;
    if (wrote && opts.isSet(QStringLiteral("rejects"))) {
        const QString out = opts.value(QStringLiteral("rejects"));
        SpreadsheetLink link;
        link.OpenWorkbook(workbook, sheet.sheet);
        RejectsExport::write(link, source, importRun.notImportedRows(), out, {}, importRun.firstDataRow() - 1);
        cliError(QStringLiteral("未导入的 %1 行已导出到 %2").arg(importRun.notImportedRows().size()).arg(out));
    }
    if (wrote && opts.isSet(QStringLiteral("report"))) {
        const QString out = opts.value(QStringLiteral("report"));
        SpreadsheetLink link;
        link.OpenWorkbook(workbook, sheet.sheet);
        RejectsExport::writeReport(link, source, view.problems, importRun.lastDataRow(), out,
                                   importRun.firstDataRow() - 1);
        cliError(QStringLiteral("检查结果已保存到 %1（有问题的单元格已标色）").arg(out));
    }

    // One result line, the check's own box standing for it: the rows a
    // stopped run never reached count as not imported.
    const int rows = qMax(importRun.lastDataRow() - importRun.firstDataRow() + 1, importRun.imported() + importRun.notImported());
    if (wrote && !check)
        cliError(QStringLiteral("%1 %2 人，未导入 %3 人")
                     .arg(mode == QLatin1String("update") ? QStringLiteral("已更新") : QStringLiteral("已导入"))
                     .arg(importRun.imported())
                     .arg(rows - importRun.imported()));
    if (opts.isSet(QStringLiteral("timings")))
        cliError(QStringLiteral("timings: rows %1, check pass %2 ms, write pass %3 ms")
                     .arg(importRun.imported() + importRun.notImported())
                     .arg(importRun.checkPassMs())
                     .arg(importRun.writePassMs()));
    if (end != RunEnd::Succeeded)
        return CliFailed;
    return importRun.notImported() > 0 ? CliSomeNotDone : CliAllDone;
}

int runGuarded(const QCommandLineParser& opts)
{
    return runReportingErrors(run, opts);
}

const CliCommandRegistrar registrar({"import", kSynopsis,
                                     "Imports a workbook into the personnel database, as the window's 数据导入 does.",
                                     declare, runGuarded});

} // namespace
