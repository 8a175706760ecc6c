#include "services/userGlobal.h"

#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "platform/Gbk.h"
#include "platform/db/WriteSession.h"
#include "services/PinyinReading.h"

#include <QRandomGenerator>

#include <unistd.h>

#include <array>
#include <limits>
#include <unordered_map>
#include <utility>

namespace {
DeptNoCache* g_deptNumbers = nullptr;

// The values one counter hands out in the open group of a write session,
// counted in memory while the group holds the counter's row.
struct GroupDraws {
    const WriteSession* session = nullptr;
    quint64 group = 0;
    QString name;
    qint64 next = 0;   // the value the next draw hands out
    qint64 drawn = 0;  // not yet added to the stored value
};
GroupDraws g_draws;

WriteSession* openGroup()
{
    WriteSession* session = UserDM->ADOConnection1.writeSession();
    return session && session->groupOpen() ? session : nullptr;
}

// A check's session: everything it writes is rolled back.
bool checking(const WriteSession* session)
{
    return session && session->end() == WriteSession::End::RollBack;
}

// Where a check's keys start: far below any key an importer draws, and
// apart from another check's, so that neither waits on the other's
// uncommitted rows at the unique index.
qint64 checkKeysFrom()
{
    return qint64(std::numeric_limits<qint32>::min()) + 1 + QRandomGenerator::global()->bounded(qint64(1) << 30);
}

bool heldHere(const WriteSession* session, const QString& name)
{
    return session && g_draws.session == session && g_draws.group == session->group() && g_draws.name == name;
}

void setSerialName(Query& q, const QString& line, const QString& serialName)
{
    q.close();
    q.clear();
    q.add(line);
    q.add(QStringLiteral(" where SerialName=:SerialName "));
    q.setText(QStringLiteral("SerialName"), serialName);
}

// Adds the group's draws to the stored value; the group commits next.
void settleDraws()
{
    const GroupDraws draws = std::exchange(g_draws, GroupDraws());
    if (draws.drawn == 0 || checking(draws.session))
        return;
    Query& q = UserDM->QryFree;
    setSerialName(q, QStringLiteral("Update Sys_SerialNo Set AValue=Avalue+:Drawn "), draws.name);
    q.setInteger(QStringLiteral("Drawn"), draws.drawn);
    q.execute();
}

// One counter is counted in memory at a time: another one's draws reach
// the database before a statement reads any counter (the database may
// compare names without regard to case, so "wkid" may be that same row).
void settleOthers(const WriteSession* session, const QString& name)
{
    if (session && g_draws.session == session && g_draws.group == session->group() && g_draws.name != name)
        settleDraws();
}

void holdInGroup(WriteSession* session, const QString& name, qint64 next)
{
    g_draws = GroupDraws{session, session->group(), name, next, 0};
    session->beforeCommit([session, group = session->group()] {
        if (g_draws.session == session && g_draws.group == group)
            settleDraws();
    });
}

// The stored value, or -1 when the counter has no row; QryFree is left closed.
qint64 readSerial(Query& q, const QString& serialName)
{
    q.close();
    q.clear();
    q.add(QStringLiteral(" Select AValue from Sys_SerialNo where SerialName=:SerialName"));
    q.setText(QStringLiteral("SerialName"), serialName);
    q.open();
    const qint64 value = q.isEmpty() ? -1 : q.fieldInteger(QStringLiteral("AValue"));
    q.close();
    return value;
}
} // namespace

DeptNoCache::DeptNoCache()
    : outer_(g_deptNumbers)
{
    g_deptNumbers = this;
}

DeptNoCache::~DeptNoCache()
{
    g_deptNumbers = outer_;
}

QString GetDeptNo(const QString& deptName)
{
    if (g_deptNumbers) {
        const auto it = g_deptNumbers->numbers_.constFind(deptName);
        if (it != g_deptNumbers->numbers_.constEnd())
            return *it;
    }
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral("Select DeptNO from  Sys_dept  where DeptName=:DeptName"));
    q.setText(QStringLiteral("DeptName"), deptName);
    q.open();
    const QString number = q.isEmpty() ? QString() : q.fieldText(QStringLiteral("Deptno"));
    if (g_deptNumbers)
        g_deptNumbers->numbers_.insert(deptName, number);
    return number;
}

void HoldSerialValue(const QString& serialName)
{
    WriteSession* session = openGroup();
    if (!session || heldHere(session, serialName))
        return;
    if (checking(session)) {
        // Nothing a check draws is kept: it takes no lock on the counter,
        // which every importer's group waits for.
        holdInGroup(session, serialName, checkKeysFrom());
        return;
    }
    settleOthers(session, serialName);
    Query& q = UserDM->QryFree;
    // On a server an update that changes nothing takes the row's lock. A
    // local file's group holds the file's write lock already, and a write
    // would cost a group that stores nothing its disk syncs.
    if (UserDM->ADOConnection1.dbms() != Connection::Dbms::Sqlite) {
        setSerialName(q, QStringLiteral("Update Sys_SerialNo Set AValue=AValue "), serialName);
        q.execute();
    }
    const qint64 stored = readSerial(q, serialName);
    if (stored >= 0)
        holdInGroup(session, serialName, stored);
}

void PrepareSerialRow(const QString& serialName)
{
    Connection& connection = UserDM->ADOConnection1;
    if (connection.dbms() == Connection::Dbms::Sqlite || connection.inTransaction())
        return;
    try {
        Transaction made(&connection, Transaction::Write);
        Query& q = UserDM->QryFree;
        if (readSerial(q, serialName) >= 0)
            return;
        q.clear();
        q.add(QStringLiteral(" insert into Sys_SerialNo "));
        q.add(QStringLiteral(" Values(:SerialName,1)"));
        q.setText(QStringLiteral("SerialName"), serialName);
        q.execute();
        q.close();
        made.commit();
    } catch (const DbError&) {
        // Another importer made it first; the draws take that row.
    }
}

qint64 GetSerialValue(const QString& serialName)
{
    WriteSession* session = openGroup();
    if (checking(session) && !heldHere(session, serialName))
        holdInGroup(session, serialName, checkKeysFrom());  // no statement, no lock
    if (heldHere(session, serialName)) {
        ++g_draws.drawn;
        return g_draws.next++;
    }
    settleOthers(session, serialName);
    // The raise first: its lock keeps every other importer off the row until
    // the transaction ends, so the value read next is this call's alone.
    Transaction draw(&UserDM->ADOConnection1, Transaction::Write);
    Query& q = UserDM->QryFree;
    const auto raiseAndRead = [&q, &serialName] {
        setSerialName(q, QStringLiteral("Update Sys_SerialNo Set AValue=Avalue+1 "), serialName);
        q.execute();
        return readSerial(q, serialName);
    };
    qint64 value = raiseAndRead();
    if (value < 0) {
        try {
            q.close();
            q.clear();
            q.add(QStringLiteral(" insert into Sys_SerialNo "));
            q.add(QStringLiteral(" Values(:SerialName,2)"));
            q.setText(QStringLiteral("SerialName"), serialName);
            q.execute();
            q.close();
            value = 2;
        } catch (const DbError&) {
            // Another importer made the row first (its unique key refused
            // ours): draw from that row instead.
            value = raiseAndRead();
            if (value < 0)
                throw;
        }
    }
    draw.commit();
    if (session)
        holdInGroup(session, serialName, value);
    return value - 1;
}

namespace {
struct PyRange {
    unsigned first;
    char letter;
};
// First code of each letter's range; each range ends one code before the
// next begins, the last one at 0xD7F9.
constexpr std::array<PyRange, 23> kPyRanges{{
    {0xB0A1, 'A'}, {0xB0C5, 'B'}, {0xB2C1, 'C'}, {0xB4EE, 'D'}, {0xB6EA, 'E'},
    {0xB7A2, 'F'}, {0xB8C1, 'G'}, {0xB9FE, 'H'}, {0xBBF7, 'J'}, {0xBFA6, 'K'},
    {0xC0AC, 'L'}, {0xC2E8, 'M'}, {0xC4C3, 'N'}, {0xC5B6, 'O'}, {0xC5BE, 'P'},
    {0xC6DA, 'Q'}, {0xC8BB, 'R'}, {0xC8F6, 'S'}, {0xCBFA, 'T'}, {0xCDDA, 'W'},
    {0xCEF4, 'X'}, {0xD1B9, 'Y'}, {0xD4D1, 'Z'},
}};
constexpr unsigned kPyLast = 0xD7F9;

char letterOfCode(unsigned code)
{
    if (code < kPyRanges.front().first || code > kPyLast)
        return ' ';
    char letter = ' ';
    for (const PyRange& r : kPyRanges) {
        if (code < r.first)
            break;
        letter = r.letter;
    }
    return letter;
}
} // namespace

char GetPyChar(const QByteArray& bytes)
{
    const unsigned hi = bytes.size() > 0 ? static_cast<unsigned char>(bytes[0]) : 0;
    const unsigned lo = bytes.size() > 1 ? static_cast<unsigned char>(bytes[1]) : 0;
    return letterOfCode(hi * 256 + lo);
}

QByteArray GetPyString(const QByteArray& bytes, int count)
{
    QByteArray result;
    result.reserve(bytes.size());
    for (qsizetype pos = 0; pos < bytes.size(); ++pos) {
        const auto b = static_cast<unsigned char>(bytes[pos]);
        if (b < 0x80) {
            result.append(char(b));
            continue;
        }
        ++pos;
        result.append(GetPyChar(bytes.mid(pos - 1, pos < bytes.size() ? 2 : 1)));
    }
    if (count <= 0)
        return QByteArray();
    return result.left(count);
}

namespace {
// The initial of one character beyond ASCII: the table's letter by its GBK
// code; where that is a blank (or GBK lacks the character), the initial of
// its reading. Kept per character: encoding one to GBK costs a microsecond,
// and names repeat their characters.
char initialOf(char32_t ch)
{
    static thread_local std::unordered_map<char32_t, char> known;
    if (const auto it = known.find(ch); it != known.end())
        return it->second;
    QByteArray code;
    char letter = ' ';
    if (Gbk::encodeChar(ch, code) && code.size() == 2 && static_cast<unsigned char>(code[0]) >= 0x80)
        letter = GetPyChar(code);
    if (letter == ' ') {
        if (const char reading = pinyinInitial(ch))
            letter = reading;
    }
    known.emplace(ch, letter);
    return letter;
}
} // namespace

QString GetPyString(const QString& text, int count)
{
    // Character by character: each gives exactly one initial, as each GBK
    // character does in the byte version.
    if (count <= 0)
        return QString();
    QString result;
    result.reserve(qMin<qsizetype>(text.size(), count));
    for (qsizetype i = 0; i < text.size() && result.size() < count; ++i) {
        char32_t ch = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ch = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        result.append(ch < 0x80 ? QChar(ch) : QChar(QLatin1Char(initialOf(ch))));
    }
    return result;
}

QString GetLocalComputerName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0 || buffer[0] == '\0')
        return QString::fromUtf8("(未知)");
    return QString::fromLocal8Bit(buffer);
}
