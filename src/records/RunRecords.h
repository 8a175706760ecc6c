#pragma once

#include "records/PersonnelRows.h"
#include "records/RowRecorder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The per-user record of import runs and undos: a SQLite file in the user's
// data folder (~/.local/share/Ostrel/records.sqlite), one per user and
// machine, on a Qt SQL connection of its own. It never touches the
// personnel database. Every failure (a damaged file, a full disk, a folder
// that cannot be made) raises Error with the reason; the callers decide
// whether that matters (an import goes on without its record).
//
// The file is distrusted as it is read back: a row whose stored values do
// not decode is taken as holding nothing, so that an undo finds nothing of
// it to do instead of acting on garbage.
class RunRecords {
public:
    static constexpr int PruneAfterDays = 365;

    // Which run this is, and how it ended ("" while under way or killed).
    struct Run {
        qint64 id = 0;
        QString kind;  // "导入" or "撤销"
        QDateTime started;
        QDateTime ended;
        QString userId;
        QString database;  // the local file's full path, or server/database
        QString workbook;
        qint64 size = 0;
        QString sha256;
        QString sheet;
        QStringList map;  // the 31 box texts
        int mode = 0;     // 0 add, 1 update
        int imported = 0;
        int notImported = 0;
        QString outcome;
        QString undoneBy;
        QDateTime undoneAt;
        qint64 undoOf = 0;  // an undo: the run it undid
        QStringList columns;  // the columns of an add row's values, in order
    };

    struct Row {
        int sheetRow = 0;
        qint64 wkid = 0;
        QString workerid;
        QByteArray digest;           // add: of the whole row as stored (PersonnelRows)
        QList<FieldChange> changes;  // update: each field before and after
    };

    static QString defaultPath();
    // The user's setting: prune records older than a year (default off).
    static bool pruneSetting();
    static void setPruneSetting(bool on);

    explicit RunRecords(const QString& path = defaultPath());
    ~RunRecords();
    RunRecords(const RunRecords&) = delete;
    RunRecords& operator=(const RunRecords&) = delete;

    QString path() const { return path_; }

    qint64 startRun(const Run& header);
    void setColumns(qint64 run, const QStringList& columns);
    void setSha256(qint64 run, const QString& sha256);
    // Rows as one pack, made a row at a time. An added row costs the thread
    // that adds it only what it must copy: bytes() puts the pack together
    // and makes the rows' digests, on whatever thread writes the pack.
    class Pack {
    public:
        // Where the next added row's bytes go (InsertDigest::rowBytes).
        PersonnelRows::RowDigest& rowBytes() { return rowBytes_; }
        // An added row whose bytes were just put in rowBytes().
        void addDigestOf(int sheetRow, qint64 wkid, const QString& workerid);
        void add(const Row& row);
        qsizetype count() const { return count_; }
        // The pack, every digest made; valid until the pack changes.
        QByteArray bytes();
        // Empty again; its memory is kept (fresh memory is slow to touch).
        void clear();

    private:
        char* room(qsizetype more);
        // A row's sheet row, Wkid and worker number, with room for `most`
        // bytes after them.
        char* putRowStart(qsizetype most, int sheetRow, qint64 wkid, QStringView workerid);
        // Puts the rows added by addDigestOf() into the pack.
        void putAdded();

        QByteArray bytes_;  // its whole size is room; the first n_ bytes are the pack's
        qsizetype n_ = 0;
        qsizetype count_ = 0;
        qint64 lastSheetRow_ = 0;
        qint64 lastWkid_ = 0;
        // Rows added but not yet put in: their bytes one after another, and
        // for each where its bytes and its worker number end.
        struct Added {
            int sheetRow;
            qint64 wkid;
            qsizetype bytesEnd;
            qsizetype workeridEnd;
        };
        PersonnelRows::RowDigest rowBytes_;
        std::vector<char16_t> workerids_;
        std::vector<Added> added_;
    };

    // Rows in one statement; a run's packs are read back in the order written.
    void addRows(qint64 run, const QList<Row>& rows);
    void addPack(qint64 run, const QByteArray& pack);
    // What is written between the two becomes lasting at once.
    void begin();
    void commit();
    // For a connection that writes a run: its journal is copied into the
    // file only by checkpoint(), not while a group commits nor as the
    // connection closes, so that the import never waits for the copying.
    void checkpointLater();
    void checkpoint();
    void endRun(qint64 run, int imported, int notImported, const QString& outcome);
    void markUndone(qint64 run, const QString& userId, const QDateTime& when);

    // Newest first; limit <= 0 for all.
    QList<Run> runs(int limit = 0) const;
    std::optional<Run> run(qint64 id) const;
    QList<Row> rows(qint64 run) const;

    // Removes runs (and their rows) that started before the cutoff; how many.
    int pruneBefore(const QDateTime& cutoff);
    // When the setting says so, runs older than a year; else nothing.
    int pruneBySetting();

private:
    void exec(const QString& sql) const;

    QString path_;
    QString name_;  // the Qt SQL connection's name
};

// Outcome texts of a run.
namespace RunOutcome {
inline const QString Finished = QStringLiteral("完成");
inline const QString Stopped = QStringLiteral("已停止");
inline const QString Failed = QStringLiteral("失败");
inline const QString Interrupted = QStringLiteral("中断（程序未正常结束）");
} // namespace RunOutcome
