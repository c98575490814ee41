// The registry file: its text, changes made whole, and a failed registration leaving it as it was.
#include "platform/registry.h"

#include <fstream>

#include "tests/server/server_test_support.h"

namespace {

using plat::RegistryTree;
using plat::RegistryValue;
using servertest::LoadedServer;
using servertest::ScopedRegistry;

// Where ScopedRegistry keeps it (posix/scoped_registry.cc).
std::filesystem::path RegistryFile(const ScopedRegistry& registry) {
  return registry.Directory() / "registry.reg";
}

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";

TEST(RegistryTree, TextRoundTripEscapesAsRegeditAndIgnoresCase) {
  RegistryTree tree;
  ASSERT_TRUE(tree.CreateKey(u"CLSID\\{AB}\\Sub"));
  ASSERT_TRUE(tree.SetString(u"clsid\\{ab}\\sub", u"Path", u"C:\\dir\\it's \"quoted\""));
  ASSERT_TRUE(tree.SetDword(u"CLSID\\{AB}\\Sub", u"Count", 0x1A));
  ASSERT_TRUE(tree.SetString(u"CLSID\\{AB}\\Sub", u"", u"d\u00e9faut"));
  ASSERT_TRUE(tree.SetString(u"CLSID\\{AB}\\Sub", u"PATH", u"C:\\dir\\it's \"quoted\""));

  const std::string text = tree.ToText();
  // One key per section, parents first, the default value first.
  EXPECT_EQ(text, std::string(kHeader) +
                      "[HKEY_CLASSES_ROOT\\CLSID]\n\n"
                      "[HKEY_CLASSES_ROOT\\CLSID\\{AB}]\n\n"
                      "[HKEY_CLASSES_ROOT\\CLSID\\{AB}\\Sub]\n"
                      "@=\"d\xC3\xA9"
                      "faut\"\n"
                      "\"Path\"=\"C:\\\\dir\\\\it's \\\"quoted\\\"\"\n"
                      "\"Count\"=dword:0000001a\n\n");
  RegistryTree parsed;
  ASSERT_TRUE(parsed.Parse(text));
  EXPECT_EQ(parsed.ToText(), text);
  RegistryValue value;
  ASSERT_TRUE(parsed.QueryValue(u"CLSID\\{AB}\\Sub", u"path", &value));
  EXPECT_EQ(value.Text, u"C:\\dir\\it's \"quoted\"");
}

TEST(RegistryTree, DeletesSubtreesAndRefusesWhatTheFileCannotHold) {
  RegistryTree tree;
  ASSERT_TRUE(tree.CreateKey(u"A\\B\\C"));
  ASSERT_TRUE(tree.CreateKey(u"A\\D"));
  ASSERT_TRUE(tree.DeleteTree(u"A\\B"));
  EXPECT_FALSE(tree.KeyExists(u"A\\B\\C"));
  EXPECT_TRUE(tree.KeyExists(u"A\\D"));
  EXPECT_FALSE(tree.DeleteTree(u"A\\B"));
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(tree.SetString(u"Missing", u"", u"x"));
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);

  EXPECT_FALSE(tree.SetString(u"A", u"", u"two\nlines"));
  EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(tree.SetDword(u"A", u"a\rb", 1));
  EXPECT_FALSE(tree.CreateKey(u"A\\\\Empty"));
  EXPECT_EQ(tree.ToText(),
            std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\n[HKEY_CLASSES_ROOT\\A\\D]\n\n");

  for (const char* malformed : {
           "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n",
           "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n",
           "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"open\n",
       }) {
    EXPECT_FALSE(tree.Parse(malformed)) << malformed;
    EXPECT_TRUE(tree.KeyExists(u"A\\D")) << malformed;
  }
}

// Each key's full path is repeated in the file: unbounded depth grows a small file quadratically.
TEST(RegistryTree, KeysBeyondWindowsLimitsAreRefused) {
  auto path = [](size_t depth, size_t nameLength) {
    std::u16string p(nameLength, u'k');
    for (size_t i = 1; i < depth; ++i) p += u"\\" + std::u16string(nameLength, u'k');
    return p;
  };
  auto file = [&](const std::u16string& keyPath) {
    return "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\" +
           plat::Utf16ToUtf8(keyPath) + "]\n";
  };
  RegistryTree tree;
  EXPECT_TRUE(tree.CreateKey(path(RegistryTree::kMaxDepth, 1)));
  EXPECT_TRUE(tree.CreateKey(path(1, RegistryTree::kMaxKeyNameLength)));
  EXPECT_TRUE(tree.Parse(file(path(RegistryTree::kMaxDepth, 31))));  // 16,383 characters.
  for (const std::u16string& beyond :
       {path(RegistryTree::kMaxDepth + 1, 1), path(2, RegistryTree::kMaxKeyNameLength + 1),
        path(RegistryTree::kMaxDepth, 32), path(16000, 1)}) {
    EXPECT_FALSE(tree.CreateKey(beyond)) << beyond.size();
    EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(tree.Parse(file(beyond))) << beyond.size();
    EXPECT_EQ(plat::GetLastError(), 1010u);  // ERROR_BADKEY.
  }
  EXPECT_TRUE(tree.KeyExists(path(RegistryTree::kMaxDepth, 31)));
}

TEST(RegistryFile, CommitReplacesTheFileAndAbortChangesNothing) {
  ScopedRegistry registry;
  for (bool commit : {true, false}) {
    plat::RegistryTransaction transaction;
    ASSERT_TRUE(transaction.Begin());
    ASSERT_TRUE(transaction.Tree().CreateKey(commit ? u"Kept" : u"Dropped"));
    if (commit) {
      ASSERT_TRUE(transaction.Commit());
    }
  }
  EXPECT_EQ(testsupport::ReadText(RegistryFile(registry)),
            std::string(kHeader) + "[HKEY_CLASSES_ROOT\\Kept]\n\n");
  EXPECT_FALSE(std::filesystem::exists(RegistryFile(registry).string() + ".tmp"));

  // A file that cannot be read is never overwritten.
  std::ofstream(RegistryFile(registry)) << "not a registry\n";
  plat::RegistryTransaction transaction;
  EXPECT_FALSE(transaction.Begin());
  EXPECT_EQ(plat::HResultFromLastError(), HRESULT_FROM_WIN32(1009));
  EXPECT_FALSE(transaction.Commit());
  EXPECT_EQ(testsupport::ReadText(RegistryFile(registry)), "not a registry\n");
}

// A registration is one transaction: an unreadable file stops it and is left as it was.
TEST(RegistryFile, AFailedRegistrationChangesNothing) {
  ScopedRegistry registry;
  LoadedServer server;
  ASSERT_TRUE(server.Ready());
  std::ofstream(RegistryFile(registry)) << "damaged\n";
  EXPECT_EQ(server.RegisterServer(), HRESULT_FROM_WIN32(1009));
  EXPECT_EQ(server.UnregisterServer(), HRESULT_FROM_WIN32(1009));
  EXPECT_EQ(testsupport::ReadText(RegistryFile(registry)), "damaged\n");
}

}  // namespace
