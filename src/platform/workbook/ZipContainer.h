#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

typedef struct _GsfInfile GsfInfile;

// A member inflating on a second thread, a few pieces ahead of its readers,
// so that inflating and parsing share the two cores. Only that thread calls
// libgsf while the stream lives; at most kPieces pieces are held.
class ZipStream {
public:
    static constexpr int kPieces = 3;
    // Where a piece may end: the offset just past a boundary in `data`
    // (searched from `from` on), or -1 when there is none.
    using Cutter = std::function<qsizetype(QByteArrayView data, qsizetype from)>;
    // Pieces cut by a Cutter end at a boundary past this size, or at most
    // this many times the size (then wherever the bytes end).
    static constexpr int kMaxCutStretch = 4;

    ~ZipStream(); // stops the thread and waits for it

    // Copies up to `size` bytes, fewer only at the end; 0 at the end.
    // Raises Error when the member is damaged.
    size_t read(char* data, size_t size);
    // The next whole piece and its number (0, 1, ...); false after the
    // last. Any thread may take pieces. Raises Error when damaged.
    bool takePiece(QByteArray& piece, int& number, bool& last);
    // A piece taken and done with, its memory to be used again.
    void giveBack(QByteArray&& piece);

private:
    friend class ZipContainer;
    struct Shared;
    explicit ZipStream(std::unique_ptr<Shared> shared);
    std::unique_ptr<Shared> shared_;
    QByteArray current_; // what read() has not handed over yet
    qsizetype offset_ = 0;
};

// The ZIP container of .xlsx and .ods files, over libgsf's zip reader.
//
// It distrusts the archive: every member's declared size is checked before
// a byte is inflated, and all members read from one file together may not
// inflate to more than 80 x the file's size, at least 80 MiB and at most
// 8 GiB (a ZIP bomb is refused, not unpacked). A damaged or cut archive, or
// a member whose CRC does not match, raises Error.
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
    // Names compare without regard to the case of A-Z, as the package
    // format says ("xl/SharedStrings.xml" is "xl/sharedStrings.xml").
    bool contains(const QByteArray& name) const;
    // The size of a member once inflated, as the archive states it; -1
    // when there is no such member.
    qint64 memberSize(const QByteArray& name) const;
    // A whole member, at most `limit` bytes (larger ones raise Error); a
    // null array when there is no such member.
    QByteArray read(const QByteArray& name, qint64 limit) const;
    // A member to be pulled by its readers while it inflates; null
    // when there is no such member. With a cutter, pieces of about
    // `pieceSize` bytes end where it says. Use no other call of this
    // container before the stream is gone. A member opened again is not
    // counted against the bound twice.
    std::unique_ptr<ZipStream> openStream(const QByteArray& name, const ZipStream::Cutter& cutter = {},
                                          qsizetype pieceSize = 0) const;

private:
    struct Input;
    Input open(const QByteArray& name) const;
    void charge(qint64 bytes) const;

    void openArchive(struct _GsfInput* source);
    void readDirectory(struct _GsfInput* source);

    // From the archive's central directory, by lower-case name: the name as
    // stored and the CRC its data must have.
    struct Entry {
        QByteArray name;
        quint32 crc = 0;
    };
    QHash<QByteArray, Entry> entries_;

    QString path_;
    QByteArray bytes_; // what a container over memory reads
    GsfInfile* zip_ = nullptr;
    qint64 budget_ = 0;           // bytes that may still be inflated
    mutable qint64 inflated_ = 0;
    mutable QList<QByteArray> streamed_; // members opened as streams
};
