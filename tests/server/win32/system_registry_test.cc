// What is particular to registering in the Windows registry: a registration
// that fails part way takes back what it wrote, and the tests' private
// registry stands in for HKEY_CLASSES_ROOT only while it lives.
#include <windows.h>

#include "tests/server/server_test_support.h"

namespace {

using servertest::LoadedServer;
using servertest::ScopedRegistry;

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

// The registry entries are written one by one and cannot be committed
// together, so a failure runs the unregistration: nothing of the library's
// is left, a registration made before included, and the shared keys stay.
TEST(SystemRegistry, AFailedRegistrationTakesBackWhatItWrote) {
  ScopedRegistry registry;
  LoadedServer server;
  ASSERT_TRUE(server.Ready());
  ASSERT_EQ(server.RegisterServer(), S_OK);

  // A volatile key holds only volatile keys, so the type library's version
  // key, written after the class and its ProgIDs, cannot be created.
  const std::u16string library = u"TypeLib\\" + plat::GuidToString(LIBID_TolvarineLib);
  registry.Change([&](plat::RegistryKeys& keys) { ASSERT_TRUE(keys.DeleteTree(library)); });
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(library).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);

  EXPECT_EQ(server.RegisterServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
  const plat::RegistryTree tree = registry.Load();
  for (const std::u16string& gone :
       {u"AppID\\" + plat::GuidToString(APPID_Tolvarine), std::u16string(u"AppID\\Tolvarine.DLL"),
        std::u16string(u"Tolvarine.Tolvarine.1"), std::u16string(u"Tolvarine.Tolvarine"),
        u"CLSID\\" + plat::GuidToString(CLSID_Tolvarine), library}) {
    EXPECT_FALSE(tree.KeyExists(gone)) << plat::Utf16ToUtf8(gone);
  }
  for (const char16_t* shared : {u"AppID", u"CLSID", u"TypeLib"}) {
    EXPECT_TRUE(tree.KeyExists(shared)) << plat::Utf16ToUtf8(shared);
  }
  // The volatile key went with the rest, so registering again succeeds.
  EXPECT_EQ(server.RegisterServer(), S_OK);
  EXPECT_TRUE(registry.Load().KeyExists(library + u"\\1.0"));
}

TEST(SystemRegistry, PrivateRegistryReplacesClassesRootOnlyWhileItLives) {
  constexpr wchar_t kProbe[] = L"Tolvarine.Tests.Probe";
  HKEY key = nullptr;
  {
    ScopedRegistry registry;
    registry.Change(
        [&](plat::RegistryKeys& keys) { ASSERT_TRUE(keys.CreateKey(u"Tolvarine.Tests.Probe")); });
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, kProbe, 0, KEY_READ, &key), ERROR_SUCCESS);
    ::RegCloseKey(key);
    // Not written through to the machine's classes.
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Tolvarine.Tests.Probe", 0,
                              KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, kProbe, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
