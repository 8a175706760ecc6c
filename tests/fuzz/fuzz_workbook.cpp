// libFuzzer entry for the workbook reader: the input is taken as a file
// (OLE2 or a bare BIFF stream) and, failing that, as a workbook stream;
// every cell of every worksheet is read and turned into text.
#include "FuzzWorkbook.h"
#include "platform/workbook/XlsWorkbook.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        auto book = XlsWorkbook::fromFileBytes(bytes);
        readEveryCell(*book);
    } catch (const Error&) {
    }
    try {
        auto book = XlsWorkbook::fromStream(bytes);
        readEveryCell(*book);
    } catch (const Error&) {
    }
    return 0;
}
