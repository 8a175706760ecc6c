// Writes the initials of the Han characters of the Basic Multilingual Plane,
// as ICU's Han-Latin transliteration reads them, as a C++ table. Run at
// build time: making the transliterator costs half a second, which the
// program should not pay at the first rare name.

#include <unicode/translit.h>
#include <unicode/uscript.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <memory>

namespace {
struct Block {
    char32_t first;
    char32_t last;
    const char* name;
};
// CJK Extension A, the Unified Ideographs, the Compatibility Ideographs.
constexpr Block kBlocks[] = {
    {0x3400, 0x4DBF, "kExtensionA"},
    {0x4E00, 0x9FFF, "kUnified"},
    {0xF900, 0xFAFF, "kCompatibility"},
};
} // namespace

int main()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> latin(
        icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !latin) {
        std::fprintf(stderr, "ICU has no Han-Latin transliteration: %s\n", u_errorName(status));
        return 1;
    }
    std::printf("// Generated at build time by make-pinyin-table from ICU %s. Do not edit.\n", U_ICU_VERSION);
    std::printf("// One letter a character; a blank where it has no reading.\n\n");
    for (const Block& b : kBlocks) {
        std::printf("constexpr char32_t %sFirst = 0x%X;\n", b.name, unsigned(b.first));
        std::printf("constexpr char %s[] =", b.name);
        for (char32_t ch = b.first; ch <= b.last; ++ch) {
            if ((ch - b.first) % 64 == 0)
                std::printf("\n    \"");
            char initial = ' ';
            UErrorCode scriptStatus = U_ZERO_ERROR;
            if (uscript_getScript(UChar32(ch), &scriptStatus) == USCRIPT_HAN && U_SUCCESS(scriptStatus)) {
                icu::UnicodeString text{UChar32(ch)};
                latin->transliterate(text);
                // A character without a reading comes back as it went in.
                const char16_t first = text.length() > 0 ? text.charAt(0) : 0;
                if (first >= u'a' && first <= u'z')
                    initial = char(first - u'a' + 'A');
                else if (first >= u'A' && first <= u'Z')
                    initial = char(first);
            }
            std::putchar(initial);
            if ((ch - b.first) % 64 == 63 || ch == b.last)
                std::putchar('"');
        }
        std::printf(";\nstatic_assert(sizeof %s == 0x%X + 1);\n\n", b.name, unsigned(b.last - b.first + 1));
    }
    return 0;
}
