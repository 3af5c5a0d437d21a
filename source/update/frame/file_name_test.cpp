#include "update/frame/file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  std::wstring name;
  bool plain;
};

// Each refused name is one that Windows would open as another file, another folder, a device or
// nothing at all when joined to a folder.
const NameCase kNames[] = {
    {L"product.dll", true},
    {L"Dup.txt", true},
    {L".hidden", true},
    {L"a..b", true},
    {L" lead.txt", true},
    {L"conx.d", true},
    {L"COM0", true},
    {L"COM10", true},
    {L"LPTX", true},
    {L"ñandú.exe", true},
    {L"", false},
    {L".", false},
    {L"..", false},
    {L"...", false},
    {L".. ", false},
    {L"a.txt.", false},
    {L"a.txt ", false},
    {L"trailing ", false},
    {L"sub\\a.dll", false},
    {L"sub/a.dll", false},
    {L"c:a.dll", false},
    {L"a.dll:stream", false},
    {L"*.dll", false},
    {L"a?.dll", false},
    {L"a<b", false},
    {L"a>b", false},
    {L"a|b", false},
    {L"\"a\"", false},
    {std::wstring(L"a\x01" L"b"), false},
    {std::wstring(L"tab\tname"), false},
    {std::wstring(L"a\x1F"), false},
    {L"CON", false},
    {L"nul.txt", false},
    {L"Aux .log", false},
    {L"com1", false},
    {L"LPT9.dat", false},
    {L"COM\u00B9", false},
    {L"lpt\u00B3.txt", false},
    {L"CONIN$", false},
};

TEST(FileNameTest, PlainOnlyWhenWindowsOpensExactlyThatName) {
  for (const NameCase& c : kNames) {
    EXPECT_EQ(mivra::IsPlainFileName(c.name), c.plain) << std::string(c.name.begin(), c.name.end());
  }
}

TEST(FileNameTest, TakesTheTextAfterTheLastBackslash) {
  std::wstring_view name;
  ASSERT_TRUE(mivra::TakeFileName(L"C:\\Program Files\\Corvane\\app.exe", &name));
  EXPECT_EQ(name, L"app.exe");
  ASSERT_TRUE(mivra::TakeFileName(L"C:\\dir\\", &name));
  EXPECT_EQ(name, L"");
  EXPECT_FALSE(mivra::TakeFileName(L"app.exe", &name));
}

}  // namespace
