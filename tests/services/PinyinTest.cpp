#include "platform/Gbk.h"
#include "services/userGlobal.h"

#include <gtest/gtest.h>

namespace {
QString py(const char* utf8, int count = 3)
{
    return GetPyString(QString::fromUtf8(utf8), count);
}
} // namespace

TEST(Pinyin, NamesGiveTheirInitials)
{
    EXPECT_EQ(py("张三丰"), "ZSF");
    EXPECT_EQ(py("王小明"), "WXM");
    EXPECT_EQ(py("欧阳修"), "OYX");
    EXPECT_EQ(py("张三"), "ZS");
    EXPECT_EQ(py("司马相如"), "SMX");
}

TEST(Pinyin, SingleBytesPassUnchangedAndCount)
{
    EXPECT_EQ(py("li张"), "liZ");
    EXPECT_EQ(py("1号"), "1H");
    EXPECT_EQ(py("A·B"), "A B");
    EXPECT_EQ(py(""), "");
    EXPECT_EQ(py("张三丰", 0), "");
    EXPECT_EQ(py("张三丰", -1), "");
    EXPECT_EQ(py("张三丰", 10), "ZSF");
}

TEST(Pinyin, RangeEdgesAndOutsideCodes)
{
    EXPECT_EQ(py("学"), "X");   // D1A7
    EXPECT_EQ(py("压"), "Y");   // D1B9, first of Y
    EXPECT_EQ(py("啊"), "A");   // B0A1, first of A
    EXPECT_EQ(py("匝"), "Z");   // D4D1
    EXPECT_EQ(py("盄"), "B");   // GBK outside GB2312, code inside B
    EXPECT_EQ(py("Ａ"), " ");   // full-width letter, below the table
}

TEST(Pinyin, ByteRulesOnGbk)
{
    EXPECT_EQ(GetPyString(QByteArray("\xB1", 1), 3), QByteArray("B"));
    EXPECT_EQ(GetPyString(QByteArray("\xB0", 1), 3), QByteArray(" "));
    EXPECT_EQ(GetPyChar(QByteArray("\xD7\xF9")), 'Z');
    EXPECT_EQ(GetPyChar(QByteArray("\xD7\xFA")), ' ');
    EXPECT_EQ(GetPyChar(QByteArray("\xB0\xA0")), ' ');
    // Every boundary: the last code of a range and the first of the next.
    const struct { unsigned first; char letter; } starts[] = {
        {0xB0C5, 'B'}, {0xB2C1, 'C'}, {0xB4EE, 'D'}, {0xB6EA, 'E'}, {0xB7A2, 'F'}, {0xB8C1, 'G'},
        {0xB9FE, 'H'}, {0xBBF7, 'J'}, {0xBFA6, 'K'}, {0xC0AC, 'L'}, {0xC2E8, 'M'}, {0xC4C3, 'N'},
        {0xC5B6, 'O'}, {0xC5BE, 'P'}, {0xC6DA, 'Q'}, {0xC8BB, 'R'}, {0xC8F6, 'S'}, {0xCBFA, 'T'},
        {0xCDDA, 'W'}, {0xCEF4, 'X'}, {0xD1B9, 'Y'}, {0xD4D1, 'Z'}};
    char previous = 'A';
    for (const auto& s : starts) {
        const char at[2] = {char(s.first >> 8), char(s.first & 0xFF)};
        const unsigned before = s.first - 1;
        const char prev[2] = {char(before >> 8), char(before & 0xFF)};
        EXPECT_EQ(GetPyChar(QByteArray(at, 2)), s.letter) << std::hex << s.first;
        EXPECT_EQ(GetPyChar(QByteArray(prev, 2)), previous) << std::hex << before;
        previous = s.letter;
    }
}

TEST(Pinyin, CharactersOutsideGbkBecomeOneBlankEach)
{
    EXPECT_EQ(py("张😀三"), "Z S");
    EXPECT_EQ(py("\xC3\xA9t\xC3\xA9"), " t ");  // é is in GBK as a symbol: blank
}

// Where the table gives a blank, a Chinese character takes the initial of
// its reading; the table's own letters stay, whatever the reading says.
TEST(Pinyin, CharactersTheTableLeavesBlankGetTheirReading)
{
    const struct { const char* name; const char* initials; } cases[] = {
        {"王鑫", "WX"},          // 鑫 level 2 (F6CE)
        {"蔺相如", "LXR"},       // 蔺 level 2 (DDFE)
        {"赵燚", "ZY"},          // 燚 GBK outside GB2312, above the table
        {"李喆", "LZ"},
        {"周\U00020000", "ZH"}, // no GBK code at all
        {"盄", "B"},             // the table's B, though read diao
        {"〇号", "LH"},          // a symbol to GBK, a numeral with a reading
        {"Ａ·😀", "   "},        // no reading: blanks as before
    };
    for (const auto& c : cases)
        EXPECT_EQ(py(c.name), QString::fromLatin1(c.initials)) << c.name;
}
