#include "services/PinyinReading.h"

#include <unicode/translit.h>
#include <unicode/uscript.h>
#include <unicode/unistr.h>

#include <iterator>
#include <memory>
#include <mutex>

namespace {

// The Han characters of the Basic Multilingual Plane, read once at build
// time, so that no name waits for the transliterator to be made.
#include "PinyinTable.inc"

struct TableBlock {
    char32_t first;
    const char* letters;
    std::size_t size;
};
constexpr TableBlock kTable[] = {
    {kExtensionAFirst, kExtensionA, sizeof kExtensionA - 1},
    {kUnifiedFirst, kUnified, sizeof kUnified - 1},
    {kCompatibilityFirst, kCompatibility, sizeof kCompatibility - 1},
};

struct Reader {
    std::mutex lock;
    std::unique_ptr<icu::Transliterator> transliterator; // null when ICU lacks the rules
};

Reader& reader()
{
    static Reader* r = [] {
        auto* made = new Reader;
        UErrorCode status = U_ZERO_ERROR;
        // Latin-ASCII drops the tone marks: "xīn" becomes "xin".
        made->transliterator.reset(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            made->transliterator.reset();
        return made;
    }();
    return *r;
}

} // namespace

char pinyinInitial(char32_t ch)
{
    for (const TableBlock& b : kTable) {
        if (ch >= b.first && ch - b.first < b.size) {
            const char letter = b.letters[ch - b.first];
            return letter == ' ' ? 0 : letter;
        }
    }
    // Beyond the table (the supplementary ideographs): ask ICU itself.
    UErrorCode status = U_ZERO_ERROR;
    if (ch > 0x10FFFF || uscript_getScript(UChar32(ch), &status) != USCRIPT_HAN || U_FAILURE(status))
        return 0;
    Reader& r = reader();
    const std::lock_guard<std::mutex> guard(r.lock);
    char initial = 0;
    if (r.transliterator) {
        icu::UnicodeString text{UChar32(ch)};
        r.transliterator->transliterate(text);
        // A character ICU has no reading for comes back as it went in.
        const char16_t first = text.length() > 0 ? text.charAt(0) : 0;
        if (first >= u'a' && first <= u'z')
            initial = char(first - u'a' + 'A');
        else if (first >= u'A' && first <= u'Z')
            initial = char(first);
    }
    return initial;
}
