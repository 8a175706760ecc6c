#pragma once

#include <QString>

// The login check against Sys_User, shared by the login window and the
// command-line tool. Shows its own refusals through the dialog seam.
enum class LoginOutcome {
    NotConnected,  // nothing was done
    Accepted,      // TUser filled
    UnknownUser,   // "不存在该工号的用户!!!" shown
    WrongPassword, // "密码输入错误!!!" shown
};

LoginOutcome CheckLogin(const QString& loginId, const QString& password);

// Passwords compare with only the Latin letters a to z folded to capitals;
// every other character must match exactly.
bool PasswordsMatch(const QString& stored, const QString& typed);

// Sets the user's long and short date formats to "yyyy-MM-dd", as the login
// does for every later date read. True when the short format now reads back
// as "yyyy-MM-dd".
bool SetLoginDateFormats();
