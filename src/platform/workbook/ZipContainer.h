#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

typedef struct _GsfInfile GsfInfile;

// The ZIP container of .xlsx and .ods files, over libgsf's zip reader.
//
// It distrusts the archive: every member's declared size is checked before
// a byte is inflated, and all members read from one file together may not
// inflate to more than max(1 GiB, 100 x the file's size) (a ZIP bomb is
// refused, not unpacked). A damaged or cut archive raises Error.
class ZipContainer {
public:
    // Opens the archive; raises Error when it is no readable ZIP.
    explicit ZipContainer(const QString& path);
    // The same over bytes in memory; `label` names them in error texts.
    ZipContainer(const QByteArray& bytes, const QString& label);
    ZipContainer(ZipContainer&& other) noexcept;
    ZipContainer& operator=(ZipContainer&&) = delete;
    ~ZipContainer();

    const QString& path() const { return path_; }
    // `name` is a path inside the archive, "xl/workbook.xml"; no leading "/".
    bool contains(const QByteArray& name) const;
    // A whole member, at most `limit` bytes (larger ones raise Error); a
    // null array when there is no such member.
    QByteArray read(const QByteArray& name, qint64 limit) const;
    // Hands a member to `sink` piece by piece, as it inflates; false when
    // there is no such member.
    bool stream(const QByteArray& name, const std::function<void(const char*, size_t)>& sink) const;

private:
    struct Input;
    Input open(const QByteArray& name) const;
    void charge(qint64 bytes) const;

    void openArchive(struct _GsfInput* source);

    QString path_;
    QByteArray bytes_; // what a container over memory reads
    GsfInfile* zip_ = nullptr;
    qint64 budget_ = 0;           // bytes that may still be inflated
    mutable qint64 inflated_ = 0;
};
