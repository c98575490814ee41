// DllRegisterServer / DllUnregisterServer: the entries written, rebuilt and removed.
#include <algorithm>
#include <thread>

#include "platform/com.h"
#include "platform/module_path.h"
#include "tests/server/server_test_support.h"

namespace {

using plat::RegistryTree;
using plat::RegistryValue;
using servertest::LoadedServer;
using servertest::ScopedRegistry;
using servertest::U16;

const std::u16string kClsid = plat::GuidToString(CLSID_Tolvarine);
const std::u16string kAppID = plat::GuidToString(APPID_Tolvarine);
const std::u16string kLibID = plat::GuidToString(LIBID_TolvarineLib);
const std::u16string kClassKey = u"CLSID\\" + kClsid;

std::u16string Text(const RegistryTree& tree, const std::u16string& key,
                    std::u16string_view name = u"") {
  RegistryValue value;
  if (!tree.QueryValue(key, name, &value)) return u"<missing>";
  if (value.ValueType != RegistryValue::Type::kString) return u"<not a string>";
  return value.Text;
}

int64_t Number(const RegistryTree& tree, const std::u16string& key, std::u16string_view name) {
  RegistryValue value;
  if (!tree.QueryValue(key, name, &value) || value.ValueType != RegistryValue::Type::kDword) {
    return -1;
  }
  return value.Number;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Ready()); }

  ScopedRegistry registry_;
  LoadedServer server_;
};

TEST_F(RegistrationTest, WritesEveryEntryWithTheModulesOwnPath) {
  ASSERT_EQ(server_.RegisterServer(), S_OK);
  const RegistryTree tree = registry_.Load();
  const std::u16string module = U16(servertest::LibraryFile());
  const std::u16string typeLibrary = u"TypeLib\\" + kLibID + u"\\1.0";
  const std::u16string strings[][3] = {
      {u"AppID\\Tolvarine.DLL", u"AppID", kAppID},
      {u"Tolvarine.Tolvarine.1\\CLSID", u"", kClsid},
      {u"Tolvarine.Tolvarine\\CLSID", u"", kClsid},
      {u"Tolvarine.Tolvarine\\CurVer", u"", u"Tolvarine.Tolvarine.1"},
      {kClassKey, u"AppID", kAppID},
      {kClassKey + u"\\ProgID", u"", u"Tolvarine.Tolvarine.1"},
      {kClassKey + u"\\VersionIndependentProgID", u"", u"Tolvarine.Tolvarine"},
      {kClassKey + u"\\InprocServer32", u"", module},
      {kClassKey + u"\\InprocServer32", u"ThreadingModel", u"Free"},
      {kClassKey + u"\\TypeLib", u"", kLibID},
      {kClassKey + u"\\DTSInfo", u"UITypeName",
       u"Microsoft.DataTransformationServices.Design.DtsSortComponentUI, "
       u"Microsoft.DatatransformationServices.DataFlowUI, Version=9.0.242.0, "
       u"Culture=neutral, PublicKeyToken=89845dcd8080cc91"},
      {kClassKey + u"\\Implemented Categories\\{97A2F007-B37A-4B33-87C7-874F46F2D690}", u"", u""},
      {typeLibrary + u"\\0\\" + plat::kTypeLibraryPlatform, u"", module},
      {typeLibrary + u"\\FLAGS", u"", u"0"},
      {typeLibrary + u"\\HELPDIR", u"", U16(servertest::LibraryFile().parent_path())},
  };
  for (const auto& [key, name, text] : strings) {
    EXPECT_EQ(Text(tree, key, name), text) << plat::Utf16ToUtf8(key + u":" + name);
  }
  EXPECT_EQ(Number(tree, kClassKey + u"\\DTSInfo", u"ComponentType"), 0);
  EXPECT_EQ(Number(tree, kClassKey + u"\\DTSInfo", u"CurrentVersion"), 0);
}

TEST_F(RegistrationTest, RegisteringAgainRebuildsAndUnregisteringKeepsSharedKeys) {
  ASSERT_EQ(server_.RegisterServer(), S_OK);
  registry_.Change([&](plat::RegistryKeys& keys) {
    ASSERT_TRUE(keys.CreateKey(kClassKey + u"\\Stale"));
    ASSERT_TRUE(keys.CreateKey(u"CLSID\\{00000000-0000-0000-0000-000000000001}"));
  });
  ASSERT_EQ(server_.RegisterServer(), S_OK);
  RegistryTree tree = registry_.Load();
  std::vector<std::u16string> subkeys;
  ASSERT_TRUE(tree.EnumSubkeys(kClassKey, &subkeys));
  std::sort(subkeys.begin(), subkeys.end());
  EXPECT_EQ(subkeys,
            (std::vector<std::u16string>{u"DTSInfo", u"Implemented Categories", u"InprocServer32",
                                         u"ProgID", u"TypeLib", u"VersionIndependentProgID"}));

  ASSERT_EQ(server_.UnregisterServer(), S_OK);
  tree = registry_.Load();
  for (const std::u16string& gone : servertest::LibraryKeys()) {
    EXPECT_FALSE(tree.KeyExists(gone)) << plat::Utf16ToUtf8(gone);
  }
  EXPECT_TRUE(tree.KeyExists(u"AppID"));
  EXPECT_TRUE(tree.KeyExists(u"CLSID\\{00000000-0000-0000-0000-000000000001}"));
  EXPECT_EQ(server_.UnregisterServer(), S_OK);  // Nothing left to remove is no failure.
}

// The 32- and 64-bit builds share one type library version key: it goes with the last of them.
TEST_F(RegistrationTest, UnregisteringKeepsTheOtherPlatformsTypeLibrary) {
  const std::u16string library = u"TypeLib\\" + kLibID;
  const std::u16string version = library + u"\\1.0";
  const std::u16string own = plat::kTypeLibraryPlatform;
  const std::u16string otherPlatform = version + u"\\0\\" + (own == u"win64" ? u"win32" : u"win64");
  ASSERT_EQ(server_.RegisterServer(), S_OK);
  registry_.Change([&](plat::RegistryKeys& keys) {
    ASSERT_TRUE(keys.CreateKey(otherPlatform));
    ASSERT_TRUE(keys.SetString(otherPlatform, u"", u"C:\\Tolvarine\\Tolvarine.dll"));
  });

  ASSERT_EQ(server_.UnregisterServer(), S_OK);
  RegistryTree tree = registry_.Load();
  EXPECT_FALSE(tree.KeyExists(version + u"\\0\\" + own));
  EXPECT_EQ(Text(tree, otherPlatform), u"C:\\Tolvarine\\Tolvarine.dll");
  EXPECT_EQ(Text(tree, version + u"\\FLAGS"), u"0");
  EXPECT_FALSE(tree.KeyExists(kClassKey));

  registry_.Change([&](plat::RegistryKeys& keys) { ASSERT_TRUE(keys.DeleteTree(otherPlatform)); });
  ASSERT_EQ(server_.UnregisterServer(), S_OK);
  EXPECT_FALSE(registry_.Load().KeyExists(library));
}

// A quote and a non-ASCII character reach the registry unchanged (UTF-8 file, UTF-16 on Windows).
TEST_F(RegistrationTest, ModulePathWithAQuoteAndAnAccentIsWrittenUnchanged) {
  const std::filesystem::path directory = registry_.Directory() / u8"it's h\u00e8re";
  std::filesystem::create_directory(directory);
  const std::filesystem::path copy = directory / servertest::LibraryFile().filename();
  std::filesystem::copy_file(servertest::LibraryFile(), copy);
  {
    LoadedServer copied(copy);
    ASSERT_TRUE(copied.Ready());
    ASSERT_EQ(copied.RegisterServer(), S_OK);
  }
  const RegistryTree tree = registry_.Load();
  EXPECT_EQ(Text(tree, kClassKey + u"\\InprocServer32"), U16(copy));
  EXPECT_EQ(Text(tree, u"TypeLib\\" + kLibID + u"\\1.0\\HELPDIR"), U16(directory));
}

// Registrations and other changes racing on the registry lose none of either.
TEST_F(RegistrationTest, ConcurrentRegistrationsAndChangesAllSurvive) {
  constexpr int kRounds = 8;
  std::thread registering([&] {
    for (int i = 0; i < kRounds; ++i) EXPECT_EQ(server_.RegisterServer(), S_OK);
  });
  std::thread changing([&] {
    for (int i = 0; i < kRounds; ++i) {
      registry_.Change([&](plat::RegistryKeys& keys) {
        ASSERT_TRUE(keys.CreateKey(u"Other\\" + plat::Utf8ToUtf16(std::to_string(i))));
      });
    }
  });
  registering.join();
  changing.join();

  const RegistryTree tree = registry_.Load();
  std::vector<std::u16string> others;
  ASSERT_TRUE(tree.EnumSubkeys(u"Other", &others));
  EXPECT_EQ(others.size(), size_t{kRounds});
  EXPECT_EQ(Text(tree, kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Free");
}

}  // namespace
