#include <gtest/gtest.h>

#include "settings/IniFile.h"

TEST(IniFile, ReadsKeysAsTheProfileFunctionsDo) {
    IniFile file(
        "Clock=orphan\r\n"
        "[trigger]\r\n"
        "  MODE =  RISE  \r\n"
        "Channel=\"KI\"\n"
        "Quoted='half\n"
        "Empty=\n"
        "NoValue\n"
        "NoValue=later\n"
        "; Threshold=1\n"
        "[Settings\n"
        "Broken=1\r"
        "[Trigger]\r\n"
        "Threshold=500\n"
        "[ Display ]\n"
        "NoChannels=5\n");
    EXPECT_EQ(file.Get(L"Trigger", L"Mode", L"Default"), L"RISE") << "names match without regard to case";
    EXPECT_EQ(file.Get(L"Trigger", L"Channel", L"Default"), L"KI") << "matching quotes are dropped";
    EXPECT_EQ(file.Get(L"Trigger", L"Quoted", L"Default"), L"'half");
    EXPECT_EQ(file.Get(L"Trigger", L"Empty", L"Default"), L"");
    EXPECT_EQ(file.Get(L"Trigger", L"NoValue", L"Default"), L"Default") << "a key without '=' reads as missing";
    EXPECT_EQ(file.Get(L"Trigger", L"Threshold", L"Default"), L"Default")
        << "only the first section of a name is searched, and a comment is no key";
    EXPECT_EQ(file.Get(L"Settings", L"Clock", L"Default"), L"Default") << "keys before any header belong to none";
    // A header without its bracket is no header: its keys stay in the section before.
    EXPECT_EQ(file.Get(L"Trigger", L"Broken", L"Default"), L"1");
    EXPECT_EQ(file.Get(L"Display", L"NoChannels", L"Default"), L"Default") << "blanks inside brackets count";
    EXPECT_FALSE(file.Put(L"Trigger", L"Mode", L"FALL"));
}

TEST(IniFile, DecodesByteOrderMarks) {
    const std::string utf16("\xFF\xFE[\0S\0]\0\n\0K\0=\0\xB5\0", 16);
    EXPECT_EQ(IniFile(utf16).Get(L"S", L"K", L""), L"\u00B5");
    EXPECT_EQ(IniFile("\xEF\xBB\xBF[S]\nK=\xC2\xB5s").Get(L"S", L"K", L""), L"\u00B5s");
    EXPECT_EQ(IniFile("[S]\nK=\xB5").Get(L"S", L"K", L""), L"\u00B5") << "without a mark, one character per byte";
}
