// libFuzzer entry for the .xlsx reader: the input is taken as the ZIP file;
// every worksheet that opens is read cell by cell.
#include "FuzzWorkbook.h"
#include "platform/workbook/XlsxWorkbook.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        auto book = XlsxWorkbook::open(ZipContainer(bytes, QString()));
        // A damaged file may claim XFD1048576; a corner of it is enough.
        readEveryCell(*book, 300, 300);
    } catch (const Error&) {
    }
    return 0;
}
