#include "platform/workbook/ZipContainer.h"

#include "platform/workbook/Container.h"

#include <QFileInfo>

#include <gsf/gsf.h>
#include <zlib.h>

#include <cstring>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>
#include <thread>

namespace {

// Whatever the file's size, this much inflated data is fine: with what the
// sheet keeps of it, a file under 1 MB stays under 300 MB of memory.
constexpr qint64 kMinInflateBudget = qint64(80) << 20;
// A larger file may inflate to this many times its size (real sheets
// inflate 10 to 30 times; what the sheet keeps of the XML, with its
// vectors growing, can take three times the XML: a 1 MB file 240 MB),
constexpr qint64 kInflateRatio = 80;
// but never to more than a sheet can hold: 4 GB of text in its buffer and
// the XML of its cells around it.
constexpr qint64 kMaxInflateBudget = qint64(8) << 30;
// Members are read in pieces of this size.
constexpr size_t kPiece = size_t(1) << 20;

const char16_t* const kDamaged = u"文件已损坏或不完整";
const char16_t* const kBomb = u"文件解压后过大(可能是恶意的压缩文件)，无法读取";
const char16_t* const kBadCrc = u"压缩包中的部件%1校验不符(CRC)，文件已损坏，请用Excel或WPS打开后重新保存";

// The end of central directory record lies in the file's last bytes: its
// 22 bytes and a comment of at most 65,535.
constexpr qint64 kMaxEndRecord = 22 + 65535;
// A central directory past this size is not read (the file is then read by
// its exact names, without CRC checks): a sheet's package has tens of parts.
constexpr qint64 kMaxDirectory = qint64(64) << 20;

quint32 le32(const uchar* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint16 le16(const uchar* p)
{
    return quint16(p[0] | p[1] << 8);
}
quint64 le64(const uchar* p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

QByteArray readAt(GsfInput* in, qint64 at, qint64 size)
{
    QByteArray out(size, Qt::Uninitialized);
    if (size <= 0 || gsf_input_seek(in, at, G_SEEK_SET)
        || !gsf_input_read(in, size_t(size), reinterpret_cast<guint8*>(out.data())))
        return QByteArray();
    return out;
}

quint32 crcOf(const char* data, qint64 size, quint32 crc = 0)
{
    while (size > 0) {
        const uInt n = uInt(std::min<qint64>(size, qint64(1) << 30));
        crc = quint32(crc32(crc, reinterpret_cast<const Bytef*>(data), n));
        data += n;
        size -= n;
    }
    return crc;
}

struct Unref {
    void operator()(void* p) const { g_object_unref(p); }
};

} // namespace

struct ZipContainer::Input {
    std::unique_ptr<GsfInput, Unref> input;
    qint64 size = 0;
    QByteArray name;       // as stored
    bool checked = false;  // whether `crc` is known
    quint32 crc = 0;
};

ZipContainer::ZipContainer(const QString& path) : path_(path)
{
    container::initGsf();
    GError* err = nullptr;
    GsfInput* file = gsf_input_stdio_new(QFile::encodeName(path).constData(), &err);
    if (!file) {
        if (err)
            g_error_free(err);
        container::fail(QStringLiteral("无法读取文件"), path);
    }
    openArchive(file);
}

ZipContainer::ZipContainer(const QByteArray& bytes, const QString& label) : path_(label), bytes_(bytes)
{
    container::initGsf();
    openArchive(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes_.constData()), bytes_.size(), FALSE));
}

void ZipContainer::openArchive(GsfInput* source)
{
    const qint64 fileSize = gsf_input_size(source);
    budget_ = std::clamp(fileSize * kInflateRatio, kMinInflateBudget, kMaxInflateBudget);
    readDirectory(source);
    gsf_input_seek(source, 0, G_SEEK_SET);
    GError* err = nullptr;
    zip_ = gsf_infile_zip_new(source, &err);
    g_object_unref(source);
    if (!zip_) {
        if (err)
            g_error_free(err);
        container::fail(QString::fromUtf16(kDamaged), path_);
    }
}

// The names and CRCs of the central directory; libgsf keeps them to itself.
// Anything odd leaves the index empty: then names are taken as they stand,
// as libgsf reads them.
void ZipContainer::readDirectory(GsfInput* source)
{
    const qint64 size = gsf_input_size(source);
    const qint64 tailAt = std::max<qint64>(0, size - kMaxEndRecord);
    const QByteArray tail = readAt(source, tailAt, size - tailAt);
    qsizetype end = tail.size() - 22;
    for (; end >= 0; --end)
        if (tail.at(end) == 'P' && tail.mid(end, 4) == QByteArrayView("PK\x05\x06", 4))
            break;
    if (end < 0)
        return;
    const auto* e = reinterpret_cast<const uchar*>(tail.constData() + end);
    quint64 count = le16(e + 10), dirSize = le32(e + 12), dirAt = le32(e + 16);
    if (count == 0xFFFF || dirSize == 0xFFFFFFFF || dirAt == 0xFFFFFFFF) {
        // ZIP64: a locator just before the record points at the real one.
        const QByteArray locator = end >= 20 ? tail.mid(end - 20, 20) : readAt(source, tailAt + end - 20, 20);
        if (locator.size() != 20 || !locator.startsWith(QByteArrayView("PK\x06\x07", 4)))
            return;
        const QByteArray record = readAt(source, qint64(le64(reinterpret_cast<const uchar*>(locator.constData()) + 8)), 56);
        if (record.size() != 56 || !record.startsWith(QByteArrayView("PK\x06\x06", 4)))
            return;
        const auto* r = reinterpret_cast<const uchar*>(record.constData());
        count = le64(r + 32);
        dirSize = le64(r + 40);
        dirAt = le64(r + 48);
    }
    if (dirSize > quint64(std::min(size, kMaxDirectory)) || count > dirSize / 46)
        return;
    QByteArray dir = readAt(source, qint64(dirAt), qint64(dirSize));
    if (!dir.startsWith(QByteArrayView("PK\x01\x02", 4))) // data before the archive (a self-extracting file)
        dir = readAt(source, tailAt + end - qint64(dirSize), qint64(dirSize));
    QHash<QByteArray, Entry> entries;
    const auto* p = reinterpret_cast<const uchar*>(dir.constData());
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + 46 > dir.size() || le32(p + at) != 0x02014b50)
            return;
        const qsizetype nameLength = le16(p + at + 28);
        const qsizetype next = at + 46 + nameLength + le16(p + at + 30) + le16(p + at + 32);
        if (next > dir.size())
            return;
        Entry entry{dir.mid(at + 46, nameLength), le32(p + at + 16)};
        const QByteArray key = entry.name.toLower();
        if (!entries.contains(key))
            entries.insert(key, std::move(entry));
        at = next;
    }
    entries_ = std::move(entries);
}

ZipContainer::ZipContainer(ZipContainer&& other) noexcept
    : entries_(std::move(other.entries_)), path_(std::move(other.path_)), bytes_(std::move(other.bytes_)),
      zip_(std::exchange(other.zip_, nullptr)), budget_(other.budget_), inflated_(other.inflated_)
{
}

ZipContainer::~ZipContainer()
{
    if (zip_)
        g_object_unref(zip_);
}

ZipContainer::Input ZipContainer::open(const QByteArray& name) const
{
    Input in;
    in.name = name;
    if (!entries_.isEmpty()) {
        const auto it = entries_.constFind(name.toLower());
        if (it == entries_.cend())
            return in;
        in.name = it->name;
        in.checked = true;
        in.crc = it->crc;
    }
    const QList<QByteArray> parts = in.name.split('/');
    std::vector<const char*> names;
    for (const QByteArray& p : parts) {
        if (p.isEmpty())
            return in;
        names.push_back(p.constData());
    }
    names.push_back(nullptr);
    in.input.reset(gsf_infile_child_by_aname(zip_, names.data()));
    // A folder is no member.
    if (in.input && GSF_IS_INFILE(in.input.get()) && gsf_infile_num_children(GSF_INFILE(in.input.get())) >= 0)
        in.input.reset();
    if (in.input)
        in.size = gsf_input_size(in.input.get());
    return in;
}

void ZipContainer::charge(qint64 bytes) const
{
    if (bytes < 0 || bytes > budget_ - inflated_)
        container::fail(QString::fromUtf16(kBomb), path_);
    inflated_ += bytes;
}

bool ZipContainer::contains(const QByteArray& name) const
{
    return open(name).input != nullptr;
}

qint64 ZipContainer::memberSize(const QByteArray& name) const
{
    const Input in = open(name);
    return in.input ? in.size : -1;
}

QByteArray ZipContainer::read(const QByteArray& name, qint64 limit) const
{
    Input in = open(name);
    if (!in.input)
        return QByteArray();
    if (in.size > limit)
        container::fail(QString::fromUtf16(kBomb), path_);
    charge(in.size);
    QByteArray out(in.size, Qt::Uninitialized);
    if (in.size > 0 && !gsf_input_read(in.input.get(), size_t(in.size), reinterpret_cast<guint8*>(out.data())))
        container::fail(QString::fromUtf16(kDamaged), path_);
    if (in.checked && crcOf(out.constData(), out.size()) != in.crc)
        container::fail(QString::fromUtf16(kBadCrc).arg(QString::fromUtf8(in.name)), path_);
    return out.isNull() ? QByteArray("") : out;
}

// The ring between the inflating thread and the readers: pieces [head,
// tail) are full, the others free.
struct ZipStream::Shared {
    GsfInput* input = nullptr; // the inflating thread's alone
    qint64 left = 0;
    QString path;
    QByteArray member;
    bool checked = false; // the CRC below is known
    quint32 expectedCrc = 0, crc = 0;
    QString failure; // why the member is damaged, when it is not the plain reason
    Cutter cutter;
    qsizetype pieceSize = qsizetype(kPiece);

    std::mutex mutex;
    std::condition_variable changed;
    QByteArray pieces[kPieces];
    bool lastPiece[kPieces] = {};
    unsigned head = 0, tail = 0;
    bool ended = false, damaged = false, stopping = false;
    std::vector<QByteArray> spares; // pieces given back
    std::thread thread;

    // Appends up to `n` more inflated bytes; false when damaged.
    bool inflateInto(QByteArray& piece, qsizetype n)
    {
        const qsizetype at = piece.size();
        piece.resize(at + n);
        left -= n;
        if (!gsf_input_read(input, size_t(n), reinterpret_cast<guint8*>(piece.data() + at)))
            return false;
        if (!checked)
            return true;
        crc = crcOf(piece.constData() + at, n, crc);
        if (left == 0 && crc != expectedCrc) {
            failure = QString::fromUtf16(kBadCrc).arg(QString::fromUtf8(member));
            return false;
        }
        return true;
    }

    void inflate()
    {
        QByteArray carry; // the bytes past the last cut
        bool ok = true;
        while (ok && (left > 0 || !carry.isEmpty())) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || tail - head < unsigned(kPieces); });
                if (stopping)
                    return;
            }
            QByteArray piece;
            {
                std::lock_guard lock(mutex);
                if (!spares.empty()) {
                    piece = std::move(spares.back());
                    spares.pop_back();
                }
            }
            piece.resize(0); // keeps its room
            piece.reserve(pieceSize + qsizetype(kPiece));
            piece.append(carry);
            carry.resize(0);
            qsizetype from = 0;
            while (ok) {
                while (ok && left > 0 && piece.size() < pieceSize)
                    ok = inflateInto(piece, qsizetype(std::min<qint64>(left, qint64(kPiece))));
                if (!cutter || !ok)
                    break;
                if (piece.size() > pieceSize) {
                    const qsizetype cut = cutter(piece, std::max<qsizetype>(from, pieceSize - 64));
                    if (cut > 0) {
                        carry = piece.sliced(cut);
                        piece.truncate(cut);
                        break;
                    }
                }
                if (left == 0 || piece.size() >= pieceSize * kMaxCutStretch)
                    break; // the rest, or no boundary: the reader finds out
                from = std::max<qsizetype>(0, piece.size() - 64);
                ok = inflateInto(piece, qsizetype(std::min<qint64>(left, qint64(kPiece))));
            }
            std::lock_guard lock(mutex);
            if (!ok)
                break;
            lastPiece[tail % kPieces] = left == 0 && carry.isEmpty();
            pieces[tail % kPieces] = std::move(piece);
            ++tail;
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        damaged = !ok;
        ended = true;
        changed.notify_all();
    }
};

ZipStream::ZipStream(std::unique_ptr<Shared> shared) : shared_(std::move(shared))
{
    Shared* s = shared_.get();
    s->thread = std::thread([s] { s->inflate(); });
}

ZipStream::~ZipStream()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->changed.notify_all();
    shared_->thread.join();
    g_object_unref(shared_->input);
}

bool ZipStream::takePiece(QByteArray& piece, int& number, bool& last)
{
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return s.head != s.tail || s.ended; });
    if (s.head == s.tail) {
        if (s.damaged)
            container::fail(s.failure.isEmpty() ? QString::fromUtf16(kDamaged) : s.failure, s.path);
        return false;
    }
    const unsigned slot = s.head % kPieces;
    piece = std::move(s.pieces[slot]);
    s.pieces[slot] = QByteArray();
    last = s.lastPiece[slot];
    number = int(s.head);
    ++s.head;
    s.changed.notify_all();
    return true;
}

void ZipStream::giveBack(QByteArray&& piece)
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->spares.size() < size_t(kPieces))
        shared_->spares.push_back(std::move(piece));
}

size_t ZipStream::read(char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        if (offset_ == current_.size()) {
            int number;
            bool last;
            offset_ = 0;
            giveBack(std::move(current_));
            current_ = QByteArray();
            if (!takePiece(current_, number, last)) {
                current_.clear();
                break;
            }
            continue;
        }
        const size_t n = std::min(size - done, size_t(current_.size() - offset_));
        std::memcpy(data + done, current_.constData() + offset_, n);
        offset_ += qsizetype(n);
        done += n;
    }
    return done;
}

std::unique_ptr<ZipStream> ZipContainer::openStream(const QByteArray& name, const ZipStream::Cutter& cutter,
                                                    qsizetype pieceSize) const
{
    Input in = open(name);
    if (!in.input)
        return nullptr;
    if (!streamed_.contains(name)) {
        charge(in.size);
        streamed_.append(name);
    }
    auto shared = std::make_unique<ZipStream::Shared>();
    shared->left = in.size;
    shared->path = path_;
    shared->member = in.name;
    shared->checked = in.checked;
    shared->expectedCrc = in.crc;
    shared->cutter = cutter;
    if (cutter && pieceSize > 0)
        shared->pieceSize = pieceSize;
    shared->input = in.input.release();
    return std::unique_ptr<ZipStream>(new ZipStream(std::move(shared)));
}
