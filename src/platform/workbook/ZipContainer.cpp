#include "platform/workbook/ZipContainer.h"

#include "platform/workbook/Container.h"

#include <QFileInfo>

#include <gsf/gsf.h>

#include <cstring>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>
#include <thread>

namespace {

// Whatever the file's size, this much inflated data is fine.
constexpr qint64 kMinInflateBudget = qint64(1) << 30;
// A larger file may inflate to this many times its size.
constexpr qint64 kInflateRatio = 100;
// Members are read in pieces of this size.
constexpr size_t kPiece = size_t(1) << 20;

const char16_t* const kDamaged = u"文件已损坏或不完整";
const char16_t* const kBomb = u"文件解压后过大(可能是恶意的压缩文件)，无法读取";

struct Unref {
    void operator()(void* p) const { g_object_unref(p); }
};

} // namespace

struct ZipContainer::Input {
    std::unique_ptr<GsfInput, Unref> input;
    qint64 size = 0;
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
    budget_ = std::max(kMinInflateBudget, fileSize * kInflateRatio);
    GError* err = nullptr;
    zip_ = gsf_infile_zip_new(source, &err);
    g_object_unref(source);
    if (!zip_) {
        if (err)
            g_error_free(err);
        container::fail(QString::fromUtf16(kDamaged), path_);
    }
}

ZipContainer::ZipContainer(ZipContainer&& other) noexcept
    : path_(std::move(other.path_)), bytes_(std::move(other.bytes_)), zip_(std::exchange(other.zip_, nullptr)),
      budget_(other.budget_),
      inflated_(other.inflated_)
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
    const QList<QByteArray> parts = name.split('/');
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
    return out.isNull() ? QByteArray("") : out;
}

// The ring between the inflating thread and the readers: pieces [head,
// tail) are full, the others free.
struct ZipStream::Shared {
    GsfInput* input = nullptr; // the inflating thread's alone
    qint64 left = 0;
    QString path;
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
        return gsf_input_read(input, size_t(n), reinterpret_cast<guint8*>(piece.data() + at)) != nullptr;
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
            container::fail(QString::fromUtf16(kDamaged), s.path);
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
    shared->cutter = cutter;
    if (cutter && pieceSize > 0)
        shared->pieceSize = pieceSize;
    shared->input = in.input.release();
    return std::unique_ptr<ZipStream>(new ZipStream(std::move(shared)));
}
