#include "import/ImportTemplate.h"

#include "import/ImportRow.h"
#include "import/XlsxOut.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr int kDateSlots[] = {6, 14, 23, 24};
constexpr int kTextSlots[] = {1, 8, 9, 12, 27, 28, 29};

bool in(const int* first, const int* last, int slot)
{
    return std::find(first, last, slot) != last;
}
} // namespace

void writeImportTemplate(const QString& path)
{
    XlsxOut out(path);
    lxw_format* header = out.addFormat("@", true);
    lxw_format* date = out.addFormat("yyyy-mm-dd");
    lxw_format* text = out.addFormat("@");
    for (const ImportSlot& s : importSlots()) {
        const int c = s.slot - 1;
        QString caption = QString::fromUtf8(s.caption);
        if (s.required)
            caption += u'*';
        const bool isDate = in(std::begin(kDateSlots), std::end(kDateSlots), s.slot);
        const bool isText = in(std::begin(kTextSlots), std::end(kTextSlots), s.slot);
        out.column(c, s.slot == 9 || s.slot == 27 ? 22 : 12, isDate ? date : isText ? text : nullptr);
        out.text(0, c, caption, header);
    }
    out.freezeTopRow();
    out.close();
}
