#pragma once

#include <QStringList>

// The statement of the staging query shown in the import window's grid. It
// never returns a row ("where 1=0"); reopening it checks that Hrp_workers
// answers before a run starts.
inline const QStringList& stagingQuerySql()
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
