#include "import/StagingQuery.h"

#include "platform/db/Query.h"

namespace {
// Numbers per statement: few statements, and always the same text, so the
// prepared statement is reused (the last group repeats its last number).
constexpr int kGroup = 200;
} // namespace

const QStringList& stagingQuerySql()
{
    static const QStringList lines{
        QStringLiteral("Select Wkid,Workerid,Wname,DepName,Sex,Nation,Politics,BIrThday,IdNumber,Birthplace,marriage,"),
        QStringLiteral("Education,BodyHigh,leye,reye,BodyWeight,Skill,ALanguage,JobTitle,BeginDate,NorMalDate,BankName,"),
        QStringLiteral("BankId,EmployType,BaseWage,FamilyTel,ContactAddr,Worktel1,Worktel2"),
        QStringLiteral(",LeaveDate,Remarks,CurativeId,CustodyOldId,Profession,Email,SchoolName,GraduateDate,WageLevel,WorkStatus"),
        QStringLiteral(" from Hrp_workers"),
        QStringLiteral("where 1=0"),
    };
    return lines;
}

void readBackWorkers(Connection& connection, const QStringList& workerids,
                     const std::function<void(Query&)>& each)
{
    if (workerids.isEmpty())
        return;
    Query q(connection);
    const QStringList& lines = stagingQuerySql();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        q.add(lines[i]);
    QStringList markers;
    for (int k = 0; k < kGroup; ++k)
        markers << QStringLiteral(":w%1").arg(k);
    q.add(QStringLiteral("where Workerid in (%1) order by Wkid").arg(markers.join(u',')));
    for (qsizetype start = 0; start < workerids.size(); start += kGroup) {
        for (int k = 0; k < kGroup; ++k)
            q.setText(QStringLiteral("w%1").arg(k), workerids[qMin(start + k, workerids.size() - 1)]);
        q.open();
        each(q);
        q.close();
    }
}
