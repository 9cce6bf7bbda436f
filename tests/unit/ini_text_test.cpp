// INI text lookup, value copy and in-place edits, table by table.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "options/ini_text.h"

namespace pomu {
namespace {

struct FindCase {
    const char* label;
    std::string text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

TEST(IniText, FindsValueAsTheProfileFunctionsDo) {
    const FindCase cases[] = {
        {"plain", "[S]\ndir=abc\n", "S", "dir", "abc"},
        {"names ignore case", "[systemSETTING]\nDIR=abc\n", "SystemSetting", "dir", "abc"},
        {"blanks trimmed", "  [ S ]  \n \t dir \t=  a b \t\n", "S", "dir", "a b"},
        {"query names trimmed", "[S]\ndir=abc\n", " S ", " dir ", "abc"},
        {"text after header", "[S] ; note\ndir=abc\n", "S", "dir", "abc"},
        {"name up to last bracket", "[S]x]\ndir=abc\n", "S]x", "dir", "abc"},
        {"unclosed header", "[S\ndir=abc\n", "S", "dir", std::nullopt},
        {"no equals sign", "[S]\ndir\n", "S", "dir", std::nullopt},
        {"empty value", "[S]\ndir=\n", "S", "dir", ""},
        {"equals in value", "[S]\nv=a=b\n", "S", "v", "a=b"},
        {"semicolon comment", "[S]\n;dir=x\n", "S", ";dir", std::nullopt},
        {"hash comment", "[S]\n#dir=x\ndir=y\n", "S", "dir", "y"},
        {"first key wins", "[S]\ndir=first\ndir=second\n", "S", "dir", "first"},
        {"only first section", "[S]\na=1\n[S]\ndir=second\n", "S", "dir", std::nullopt},
        {"first section wins", "[S]\ndir=1\n[s]\ndir=2\n", "S", "dir", "1"},
        {"other section", "[T]\ndir=x\n[S]\nlevel=9\n", "S", "dir", std::nullopt},
        {"before any section", "dir=x\n[S]\n", "S", "dir", std::nullopt},
        {"crlf", "[S]\r\ndir=abc\r\n", "S", "dir", "abc"},
        {"lone cr", "[S]\rdir=abc\r", "S", "dir", "abc"},
        {"utf8 mark", "\xEF\xBB\xBF[S]\nv=\xE6\x97\xA5\n", "S", "v", "\xE6\x97\xA5"},
        {"end-of-file mark", "[S]\nv=abc\x1a\n", "S", "v", "abc"},
        {"no final line ending", "[S]\nv=abc", "S", "v", "abc"},
        {"empty text", "", "S", "v", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<std::string_view> found = ini::findValue(c.text, c.section, c.key);
        EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, c.expected) << c.label;
    }
}

struct CopyCase {
    std::string value;
    std::size_t bufferBytes;
    std::string expected;
};

TEST(IniText, CopyStripsOneQuotePairAndCutsAtCharacters) {
    const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // two 3-byte characters
    const CopyCase cases[] = {
        {"\"abc\"", 260, "abc"},
        {"'abc'", 260, "abc"},
        {"\"abc", 260, "\"abc"},
        {"abc\"", 260, "abc\""},
        {"\"", 260, "\""},
        {"\"\"", 260, ""},
        {"\"a\"b\"", 260, "a\"b"},
        {"\"abc'", 260, "\"abc'"},
        {"\" a \"", 260, " a "},
        {"\"abcdef\"", 5, "abcd"},
        {"\"abc\"", 4, "abc"},
        {"123456", 5, "1234"},
        {"1234", 5, "1234"},
        {"ON", 0, ""},
        {"ON", 1, ""},
        {std::string("ab\0cd", 5), 260, "ab"},
        {nihon, 7, nihon},
        {nihon, 6, "\xE6\x97\xA5"},
        {nihon, 4, "\xE6\x97\xA5"},
        {nihon, 3, ""},
        {"a" + nihon, 5, "a\xE6\x97\xA5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini::profileCopy(c.value, c.bufferBytes), c.expected)
            << c.value << " / " << c.bufferBytes;
    }
}

struct WritableCase {
    std::string section;
    std::string key;
    std::string value;
    bool expected;
};

TEST(IniText, RefusesWhatWouldBreakLines) {
    const WritableCase cases[] = {
        {"SystemSetting", "dir", "/usr/lib/p7zip/", true},
        {"SystemSetting", "dir", "", true},
        {"SystemSetting", "dir", "a\nzip=ON", false},
        {"SystemSetting", "dir", "a\rb", false},
        {"SystemSetting", "dir", std::string("a\0b", 3), false},
        {"System\nSetting", "dir", "x", false},
        {"S]", "dir", "x", false},
        {" ", "dir", "x", false},
        {"S", "", "x", false},
        {"S", "a=b", "x", false},
        {"S", ";dir", "x", false},
        {"S", "#dir", "x", false},
        {"S", "[dir]", "x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini::canWrite(c.section, c.key, c.value), c.expected)
            << c.section << " / " << c.key << " / " << c.value;
    }
}

struct SetCase {
    const char* label;
    std::string before;
    const char* key;
    const char* value;
    std::string after;
};

TEST(IniText, SetsKeyKeepingEveryOtherLine) {
    const SetCase cases[] = {
        {"new text", "", "dir", "x", "[S]\ndir=x\n"},
        {"rewrite in place", "; top\n[A]\nx=1\n\n[S]\n; c\ndir=old\nlevel=9\n\n[B]\ny=2\n", "dir",
         "new", "; top\n[A]\nx=1\n\n[S]\n; c\ndir=new\nlevel=9\n\n[B]\ny=2\n"},
        {"file spelling kept", "[s]\n  DIR = old \nz = 1\n", "dir", "new", "[s]\nDIR=new\nz = 1\n"},
        {"after last key", "[S]\nlevel=9\n\n\n# B\n[B]\ny=2\n", "dir", "x",
         "[S]\nlevel=9\ndir=x\n\n\n# B\n[B]\ny=2\n"},
        {"after header", "[S]\n\n[B]\n", "dir", "x", "[S]\ndir=x\n\n[B]\n"},
        {"last line unended", "[S]\nlevel=9", "dir", "x", "[S]\nlevel=9\ndir=x"},
        {"section appended", "[A]\nx=1\n", "dir", "x", "[A]\nx=1\n[S]\ndir=x\n"},
        {"section after unended", "[A]\nx=1", "dir", "x", "[A]\nx=1\n[S]\ndir=x\n"},
        {"crlf kept", "[A]\r\nx=1\r\n[S]\r\nlevel=9\r\n", "dir", "x",
         "[A]\r\nx=1\r\n[S]\r\nlevel=9\r\ndir=x\r\n"},
        {"crlf new section", "[A]\r\nx=1\r\n", "dir", "x", "[A]\r\nx=1\r\n[S]\r\ndir=x\r\n"},
        {"lone cr kept", "[S]\rlevel=9\r", "dir", "x", "[S]\rlevel=9\rdir=x\r"},
        {"utf8 mark kept", "\xEF\xBB\xBF[S]\ndir=a\n", "dir", "b", "\xEF\xBB\xBF[S]\ndir=b\n"},
        {"utf8 mark alone", "\xEF\xBB\xBF", "dir", "b", "\xEF\xBB\xBF[S]\ndir=b\n"},
        {"first of duplicate keys", "[S]\ndir=1\ndir=2\n", "dir", "x", "[S]\ndir=x\ndir=2\n"},
        {"first of duplicate sections", "[S]\na=1\n[S]\ndir=2\n", "dir", "x",
         "[S]\na=1\ndir=x\n[S]\ndir=2\n"},
        {"key before sections untouched", "dir=0\n[S]\n", "dir", "x", "dir=0\n[S]\ndir=x\n"},
        {"commented key untouched", "[S]\n;dir=0\n", "dir", "x", "[S]\ndir=x\n;dir=0\n"},
        {"bare key line rewritten", "[S]\ndir\n", "dir", "x", "[S]\ndir=x\n"},
    };
    for (const auto& c : cases) {
        const std::string after = ini::setValue(c.before, "S", c.key, c.value);
        EXPECT_EQ(after, c.after) << c.label;
        const std::optional<std::string_view> back = ini::findValue(after, "S", c.key);
        EXPECT_EQ(back ? std::string(*back) : "<missing>", c.value) << c.label;
    }
}

TEST(IniText, HandlesLongLinesAndBinaryBytes) {
    const std::string longValue(1 << 20, 'v');
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += char(i);
    const std::string text = "[S]\nlong=" + longValue + "\n" + binary + "\n[S2]\n";

    std::string edited = ini::setValue(text, "S", "dir", "x");
    EXPECT_EQ(ini::findValue(edited, "S", "dir"), std::optional<std::string_view>("x"));
    EXPECT_EQ(ini::findValue(edited, "S", "long")->size(), longValue.size());
    edited = ini::setValue(edited, "S", "long", "short");
    EXPECT_EQ(ini::findValue(edited, "S", "long"), std::optional<std::string_view>("short"));
    EXPECT_NE(edited.find(binary), std::string::npos);
    EXPECT_EQ(ini::profileCopy(longValue, 5), "vvvv");
}

}  // namespace
}  // namespace pomu
