#include "platform/workbook/Container.h"

#include "platform/Errors.h"

#include <gsf/gsf.h>
#include <sys/mman.h>

#include <mutex>

namespace container {

void initGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Some of libgsf's complaints come without a domain.
        for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:zip", static_cast<const char*>(nullptr)})
            g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

namespace {
constexpr size_t kHuge = size_t(2) << 20; // a huge page
} // namespace

void adviseHuge(void* p, size_t size)
{
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~uintptr_t(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + size) & ~uintptr_t(kHuge - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

Buffer allocate(size_t size)
{
    if (size < kHuge)
        return Buffer(static_cast<char*>(std::malloc(size ? size : 1)));
    const size_t rounded = (size + kHuge - 1) & ~(kHuge - 1);
    char* p = static_cast<char*>(std::aligned_alloc(kHuge, rounded));
    if (p)
        adviseHuge(p, rounded);
    return Buffer(p);
}

void fail(const QString& reason, const QString& label)
{
    throw Error(label.isEmpty() ? reason : reason + QStringLiteral(": ") + label);
}

} // namespace container
