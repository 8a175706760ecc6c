#pragma once

#include <QString>

#include <cstdlib>
#include <memory>

// What the readers of container files (OLE2 for .xls, ZIP for .xlsx and
// .ods) share: libgsf started once and quiet, and room for large streams.
namespace container {

// Starts libgsf once. Damaged files make it complain on standard error; the
// reason reaches the user through our own error instead.
void initGsf();

struct FreeBuffer {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, FreeBuffer>;

// Room for `size` bytes, null when there is none. Large buffers sit on 2 MB
// boundaries with huge pages advised: faulting in a 30 MB buffer page by
// page costs more than decoding it.
Buffer allocate(size_t size);
// Huge pages advised for the whole 2 MB blocks within [p, p + size): for a
// large vector reserved at once and filled as it is read.
void adviseHuge(void* p, size_t size);

// Raises Error with the reason, and the source after ": " when it has one.
[[noreturn]] void fail(const QString& reason, const QString& label);

} // namespace container
