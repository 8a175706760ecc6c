#include "services/userGlobal.h"

SetValueRecord TSetValue;
UserRecord TUser;
const QString DefaultDbFileName = QStringLiteral("Wage.VRD");

void ResetGlobalRecords()
{
    TSetValue = SetValueRecord();
    TUser = UserRecord();
}
