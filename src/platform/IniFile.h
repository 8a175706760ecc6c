#pragma once

#include <QString>

// MyConnect.ini: section and key names match without regard to case, the
// bytes are GBK, values are read up to 2047 bytes, a default applies only
// when the key is absent. Every call reads the file afresh, so a write is
// seen by every later read. A failed write raises Error("Unable to write to
// <path>"). A file we create gets mode 0600 (it may hold a password).
class IniFile {
public:
    explicit IniFile(const QString& path);

    QString path() const { return path_; }
    bool exists() const;

    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Optional sign and digits, within 32 bits; anything else gives the default.
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    void writeString(const QString& section, const QString& key, const QString& value);

private:
    QString path_;
};
