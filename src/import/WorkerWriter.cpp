#include "import/WorkerWriter.h"

#include "data/UserDMUnit.h"
#include "import/FieldValues.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/db/DbFailures.h"
#include "records/RowRecorder.h"
#include "services/userGlobal.h"

namespace {
// Beside the row's line, which names the number already.
const QString kDuplicateReason = QStringLiteral("工号已存在");

// The worker number as stored (keys compare without case), or "" when none.
QString storedWorkerid(const QString& workerid)
{
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral(" select workerid from   hrp_workers where workerid=:workerid "));
    q.setText(QStringLiteral("workerid"), workerid);
    q.open();
    return q.isEmpty() ? QString() : q.fieldText(QStringLiteral("workerid"));
}

bool workerExists(const QString& workerid)
{
    return !storedWorkerid(workerid).isEmpty();
}

// A failure the next row would meet too; a lost group is one whatever
// the database said.
bool recurring(const std::exception& e, const WriteSession& session)
{
    if (session.lost())
        return true;
    const auto* db = dynamic_cast<const DbError*>(&e);
    return db && DbFailures::recurs(DbFailures::classify(*db).kind);
}

// Dates in a form the database reads; null when empty.
void setDateOrNull(Query& q, const QString& name, const QString& value)
{
    if (value.isEmpty())
        q.setNull(name);
    else
        q.setText(name, FieldValues::normalisedDate(value));
}

// The insert's lines as one text: the same statement, built once
// instead of line by line for every row (the lines, the "\n"s, are as ever).
const QString& insertText()
{
    static const QString text = QStringList{
        QStringLiteral("insert into hrp_workers(Wkid,Workerid,Wname,NamePy,DeptNo,DepName,Sex,Nation,Politics"),
        QStringLiteral(",BIrThday,IdNumber,Birthplace,marriage,Education,Skill,JobTitle,BeginDate,NorMalDate"),
        QStringLiteral(",BankName,BankId,EmployType,BaseWage,ContactAddr,Worktel1,Worktel2 "),
        QStringLiteral(",Remarks,CurativeId,CustodyOldId,Profession,SchoolName,GraduateDate,WageLevel,WorkStatus,ALanguage,leye,reye,BodyHigh,BodyWeight,Email,FamilyTel,JobAsses)"),
        QStringLiteral(" Values(:wkid,:Workerid, :Wname, :NamePy, :DeptNo, :DepName, :Sex, :Nation, :Politics"),
        QStringLiteral(",:BIrThday, :IdNumber, :Birthplace, :marriage,:Education,:Skill,:JobTitle,:BeginDate,:NorMalDate"),
        QStringLiteral(",:BankName,:BankId,:EmployType,:BaseWage,:ContactAddr,:Worktel1,:Worktel2"),
        QStringLiteral(",:Remarks,:CurativeId,:CustodyOldId,:Profession,:SchoolName,:GraduateDate,:WageLevel,'在职',:ALanguage,null,null,null,null,:Email,null,:JobAsses) ")
    }.join(u'\n');
    return text;
}
} // namespace

QString WorkerWriter::duplicateMessage(const QString& workerid, int sheetRow, int earlierRow)
{
    // A number the workbook repeats is not looked for in the database.
    const QString text = earlierRow > 0
        ? QStringLiteral("工号「%1」与第 %2 行重复，不能导入。").arg(workerid).arg(earlierRow)
        : QStringLiteral("工号「%1」已存在，不能导入。").arg(workerid);
    return sheetRow > 0 ? text + QStringLiteral("\n第 %1 行").arg(sheetRow) : text;
}

void WorkerWriter::beginRun()
{
    askDuplicates_ = end_ == WriteSession::End::Commit;
    if (end_ == WriteSession::End::Commit)
        PrepareSerialRow(QStringLiteral("WKID"));
    session_.reset();
    session_ = std::make_unique<WriteSession>(UserDM->ADOConnection1, end_);
    if (recorder_ && end_ == WriteSession::End::Commit)
        recorder_->runStarts();
}

void WorkerWriter::endRun()
{
    if (!session_)
        return;
    try {
        session_->finish();
    } catch (const std::exception& e) {
        stop(e);
    }
    session_.reset();
    pendingStored_ = 0;
}

void WorkerWriter::stop(const std::exception& e)
{
    const auto* db = dynamic_cast<const DbError*>(&e);
    const DbFailures::Failure failure = db ? DbFailures::classify(*db) : DbFailures::Failure{};
    bool lost = session_->lost();
    const auto* own = dynamic_cast<const Error*>(&e);
    // The database's own words, not the session's sentence about them.
    const bool sessionSaid = lost && own && own->text() == session_->lostText();
    const QString detail = sessionSaid ? session_->lostCause() : db ? db->text() : errorText(e);
    try {
        session_->finish();  // what the open group holds, where it still can
    } catch (const std::exception&) {
        lost = true;
    }
    session_.reset();
    const int lostRows = lost && end_ == WriteSession::End::Commit ? pendingStored_ : 0;
    pendingStored_ = 0;
    throw WriteStopped(DbFailures::stopCause(failure, UserDM->ADOConnection1.localFile()),
                       DbFailures::stopAdvice(failure), detail, lostRows);
}

void WorkerWriter::countPending(bool written)
{
    if (!session_->groupOpen()) {
        pendingStored_ = 0;  // committed
        return;
    }
    if (session_->group() != pendingGroup_) {
        pendingGroup_ = session_->group();
        pendingStored_ = 0;
    }
    if (written)
        ++pendingStored_;
}

void WorkerWriter::SaveWorkerRow(ImportRow& row, int mode)
{
    if (recorder_)
        recorder_->nextRow(row.SheetRow);
    if (session_) {
        try {
            saveRow(row, mode, *session_);
            session_->rowDone();
        } catch (const std::exception& e) {
            row.RowWritten = false;
            stop(e);
        }
        countPending(row.RowWritten);
        return;
    }
    WriteSession single(UserDM->ADOConnection1, end_);
    try {
        saveRow(row, mode, single);
        single.finish();
    } catch (const std::exception& e) {
        row.RowWritten = false;
        reason_ = errorText(e);
    }
}

void WorkerWriter::saveRow(ImportRow& row, int mode, WriteSession& session)
{
    row.RowWritten = false;
    reason_.clear();
    // Before anything is drawn or asked: such a row is never stored.
    if (mode == 0 || mode == 1) {
        reason_ = FieldValues::lostDigitsReason(row);
        if (reason_.isEmpty())
            reason_ = FieldValues::tooLongReason(row, mode);
        if (!reason_.isEmpty())
            return;
    }
    try {
        if (mode == 0) {
            session.beginRow();
            // The counter's row first: the group's duplicate checks then see
            // every other importer's rows.
            HoldSerialValue(QStringLiteral("WKID"));
            if (!insertRow(row, session))
                return;
        } else if (mode == 1) {
            session.beginRow();
            if (!updateRow(row))
                return;
        }
        row.RowWritten = true;
    } catch (const std::exception& e) {
        row.RowWritten = false;
        if (recurring(e, session))
            throw;
        reason_ = FieldValues::writeFailureReason(e, row);
    }
}

bool WorkerWriter::insertRow(ImportRow& row, WriteSession& session)
{
    if (workerExists(row.Workerid)) {
        reason_ = kDuplicateReason;
        session.commitNow(); // nothing held while the box waits
        if (askDuplicates_)
            askDuplicates_ = !Dialogs::messageBoxWithCheck(duplicateMessage(row.Workerid, row.SheetRow, row.EarlierRow), QStringLiteral("提示"),
                                                           MsgIcon::Error, QStringLiteral("本次导入不再提示重复工号"));
        return false;
    }
    row.DeptNo = GetDeptNo(row.DepName);
    const qint64 wkid = GetSerialValue(QStringLiteral("WKID"));

    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(insertText());

    q.setInteger(QStringLiteral("wkid"), wkid);
    q.setText(QStringLiteral("Workerid"), row.Workerid);
    q.setText(QStringLiteral("Wname"), row.Wname);
    q.setText(QStringLiteral("NamePy"), GetPyString(row.Wname, 3));
    q.setText(QStringLiteral("DeptNo"), row.DeptNo);
    q.setText(QStringLiteral("DepName"), row.DepName);
    q.setText(QStringLiteral("Sex"), row.Sex);
    q.setText(QStringLiteral("Nation"), row.Nation);
    q.setText(QStringLiteral("Politics"), row.Politics);
    setDateOrNull(q, QStringLiteral("BIrThday"), row.BIrThday);
    q.setText(QStringLiteral("IdNumber"), row.IdNumber);
    q.setText(QStringLiteral("Birthplace"), row.Birthplace);
    q.setText(QStringLiteral("marriage"), row.marriage);
    q.setText(QStringLiteral("Education"), row.Education);
    q.setText(QStringLiteral("Skill"), row.Skill);
    q.setText(QStringLiteral("JobTitle"), row.JobTitle);
    setDateOrNull(q, QStringLiteral("BeginDate"), row.BeginDate);
    setDateOrNull(q, QStringLiteral("NorMalDate"), row.NorMalDate);
    q.setText(QStringLiteral("BankName"), row.BankName);
    q.setText(QStringLiteral("BankId"), row.BankId);
    q.setText(QStringLiteral("EmployType"), row.EmployType);
    if (row.BaseWage.isEmpty())
        q.setInteger(QStringLiteral("BaseWage"), 0);
    else
        q.setText(QStringLiteral("BaseWage"), row.BaseWage);
    q.setText(QStringLiteral("ContactAddr"), row.ContactAddr);
    q.setText(QStringLiteral("Worktel1"), row.Worktel1);
    q.setText(QStringLiteral("Worktel2"), row.Worktel2);
    q.setText(QStringLiteral("Remarks"), row.Remarks);
    q.setText(QStringLiteral("CurativeId"), row.CurativeId);
    q.setText(QStringLiteral("CustodyOldId"), row.CustodyOldId);
    q.setText(QStringLiteral("Profession"), row.Profession);
    q.setText(QStringLiteral("SchoolName"), row.SchoolName);
    setDateOrNull(q, QStringLiteral("GraduateDate"), row.GraduateDate);
    q.setText(QStringLiteral("WageLevel"), row.WageLevel);
    q.setText(QStringLiteral("ALanguage"), row.ALanguage);
    q.setText(QStringLiteral("Email"), QString());
    q.setText(QStringLiteral("JobAsses"), row.JobAsses);
    q.execute();
    if (recorder_)
        recorder_->rowAdded(wkid, row.Workerid, q);
    return true;
}

bool WorkerWriter::updateRow(const ImportRow& row)
{
    // An update of nobody is no update: the row is listed, not counted.
    // The key is set to itself as stored: the workbook may spell it in
    // another case, and the keys compare without case.
    const QString stored = storedWorkerid(row.Workerid);
    if (stored.isEmpty()) {
        reason_ = QStringLiteral("工号不存在");
        return false;
    }
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral(" update  hrp_workers set workerid=:workerid"));
    const struct {
        const QString& value;
        const char* line;
        const char* name;
    } fields[] = {
        {row.BaseWage, ",basewage=:basewage", "basewage"},
        {row.WageLevel, ",WageLevel=:WageLevel", "WageLevel"},
        {row.JobTitle, ",JobTitle=:JobTitle", "JobTitle"},
        {row.ALanguage, ",ALanguage=:ALanguage", "ALanguage"},
        {row.BankName, ",BankName=:BankName", "BankName"},
        {row.BankId, ",BankId=:BankId", "BankId"},
        {row.Skill, ",Skill=:Skill ", "Skill"},
        {row.JobAsses, ",JobAsses=:JobAsses ", "JobAsses"},
    };
    QStringList changed;
    for (const auto& f : fields) {
        if (f.value.isEmpty())
            continue;
        q.add(QString::fromLatin1(f.line));
        q.setText(QString::fromLatin1(f.name), f.value);
        changed << QString::fromLatin1(f.name);
    }
    const QList<FieldChange> before = recorder_ ? recorder_->fieldsBefore(row.Workerid, changed) : QList<FieldChange>();
    q.add(QStringLiteral(" where workerid=:workerid1 "));
    q.setText(QStringLiteral("workerid1"), row.Workerid);
    q.setText(QStringLiteral("workerid"), stored);
    q.execute();
    if (recorder_)
        recorder_->rowUpdated(row.Workerid, before);
    return true;
}
