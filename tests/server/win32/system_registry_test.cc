// Registering in the Windows registry: a registration failing part way takes back what it wrote.
#include <windows.h>

#include "tests/server/server_test_support.h"

namespace {

using servertest::LoadedServer;
using servertest::ScopedRegistry;

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

// Entries are written one by one, so a failure runs the unregistration: nothing of the library's
// is left (an earlier registration's included), and the shared keys stay.
TEST(SystemRegistry, AFailedRegistrationTakesBackWhatItWrote) {
  ScopedRegistry registry;
  LoadedServer server;
  ASSERT_TRUE(server.Ready());
  ASSERT_EQ(server.RegisterServer(), S_OK);

  // Under a volatile key the type library's version key (written last) cannot be created.
  const std::u16string library = u"TypeLib\\" + plat::GuidToString(LIBID_TolvarineLib);
  registry.Change([&](plat::RegistryKeys& keys) { ASSERT_TRUE(keys.DeleteTree(library)); });
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(library).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);

  EXPECT_EQ(server.RegisterServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
  const plat::RegistryTree tree = registry.Load();
  for (const std::u16string& gone : servertest::LibraryKeys()) {
    EXPECT_FALSE(tree.KeyExists(gone)) << plat::Utf16ToUtf8(gone);
  }
  for (const char16_t* shared : {u"AppID", u"CLSID", u"TypeLib"}) {
    EXPECT_TRUE(tree.KeyExists(shared)) << plat::Utf16ToUtf8(shared);
  }
  // The volatile key went with the rest, so registering again succeeds.
  EXPECT_EQ(server.RegisterServer(), S_OK);
  EXPECT_TRUE(registry.Load().KeyExists(library + u"\\1.0"));
}

}  // namespace
