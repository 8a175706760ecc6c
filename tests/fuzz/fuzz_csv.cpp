// libFuzzer entry for the .csv reader: the input is the file's bytes, read
// under each separator rule; every cell is read.
#include "FuzzWorkbook.h"
#include "platform/workbook/CsvWorkbook.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* name : {"fuzz.csv", "fuzz.tsv"}) {
        try {
            auto book = CsvWorkbook::fromBytes(bytes, QString::fromLatin1(name));
            readEveryCell(*book, 300, 300);
        } catch (const Error&) {
        }
    }
    return 0;
}
