#include "login/LoginCheck.h"

#include "data/UserDMUnit.h"
#include "platform/DateFormats.h"
#include "platform/Dialogs.h"
#include "services/userGlobal.h"

namespace {
QString foldLatin(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 0x20);
    return out;
}
} // namespace

bool PasswordsMatch(const QString& stored, const QString& typed)
{
    return foldLatin(stored) == foldLatin(typed);
}

LoginOutcome CheckLogin(const QString& loginId, const QString& password)
{
    if (!UserDM || !UserDM->ADOConnection1.connected())
        return LoginOutcome::NotConnected;
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral("Select Count(*) As UserCount From Sys_User "));
    q.open();
    if (q.fieldInteger(QStringLiteral("UserCount")) == 0) {
        TUser.UserID = QStringLiteral("0000");
        TUser.UserName = QStringLiteral("Admin");
        return LoginOutcome::Accepted;
    }
    q.close();
    q.clear();
    q.add(QStringLiteral("Select PassWd,UserName,UserID From Sys_User Where UserID = :UserID "));
    q.setText(QStringLiteral("UserID"), loginId);
    q.open();
    if (q.isEmpty()) {
        Dialogs::messageBox(QStringLiteral("不存在该工号的用户!!!"), QStringLiteral("提示"), MsgIcon::Error);
        return LoginOutcome::UnknownUser;
    }
    q.first();
    const QString stored = q.fieldText(QStringLiteral("PassWd"));
    if (!PasswordsMatch(stored, password)) {
        Dialogs::messageBox(QStringLiteral("密码输入错误!!!"), QStringLiteral("提示"), MsgIcon::Error);
        return LoginOutcome::WrongPassword;
    }
    TUser.UserID = q.fieldText(QStringLiteral("UserID"));
    TUser.UserName = q.fieldText(QStringLiteral("UserName"));
    TUser.PassWd = stored;
    return LoginOutcome::Accepted;
}

bool SetLoginDateFormats()
{
    const QString iso = QStringLiteral("yyyy-MM-dd");
    DateFormats::setLongDateFormat(iso);
    const bool written = DateFormats::setShortDateFormat(iso);
    return written && DateFormats::currentShortDateFormat() == iso;
}
