// The host's activation through the registry, and unloading once nothing holds the library
// (on Windows COM's own, covered by scripts/test-windows).
#include "host/component_factory.h"
#include "tests/server/server_test_support.h"

namespace {

using servertest::ScopedRegistry;
using servertest::U16;

class ComponentActivationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host::FreeUnusedLibraries();
    EXPECT_FALSE(plat::IsLibraryLoaded(library_));
  }

  void SetKeys(const std::vector<std::pair<std::u16string, std::u16string>>& defaults) {
    registry_.Change([&](plat::RegistryKeys& keys) {
      for (const auto& [key, text] : defaults) {
        ASSERT_TRUE(keys.CreateKey(key));
        ASSERT_TRUE(keys.SetString(key, u"", text));
      }
    });
  }

  ScopedRegistry registry_;
  const std::u16string library_ = U16(servertest::LibraryFile());
};

TEST_F(ComponentActivationTest, CreatesByProgIDFromTheRegistrationAndUnloadsAfterRelease) {
  ASSERT_EQ(host::RegisterServerLibrary(library_), S_OK);
  EXPECT_FALSE(plat::IsLibraryLoaded(library_));  // Nothing holds it after registering.

  for (const char16_t* progID : {u"Tolvarine.Tolvarine", u"Tolvarine.Tolvarine.1"}) {
    ComPtr<IDTSDesigntimeComponent90> component;
    ASSERT_EQ(host::CreateInstanceByProgID(progID, IID_IDTSDesigntimeComponent90,
                                           reinterpret_cast<void**>(component.Put())),
              S_OK);
    EXPECT_EQ(host::FreeUnusedLibraries(), 0u);
    EXPECT_TRUE(plat::IsLibraryLoaded(library_));
    component.Reset();
    EXPECT_EQ(host::FreeUnusedLibraries(), 1u);
    EXPECT_FALSE(plat::IsLibraryLoaded(library_));
  }
}

// Reached by path and by registration, it is one loaded library, unloaded once.
TEST_F(ComponentActivationTest, PathAndRegistrationShareOneLoadedLibrary) {
  ASSERT_EQ(host::RegisterServerLibrary(library_), S_OK);
  ComPtr<IUnknown> direct, registered;
  ASSERT_EQ(host::CreateInstanceFromLibrary(library_, CLSID_Tolvarine, IID_IUnknown,
                                            reinterpret_cast<void**>(direct.Put())),
            S_OK);
  ASSERT_EQ(host::CreateInstanceByCLSID(CLSID_Tolvarine, IID_IUnknown,
                                        reinterpret_cast<void**>(registered.Put())),
            S_OK);
  direct.Reset();
  EXPECT_EQ(host::FreeUnusedLibraries(), 0u);  // The registered object still holds it.
  registered.Reset();
  EXPECT_EQ(host::FreeUnusedLibraries(), 1u);
  ASSERT_EQ(host::UnregisterServerLibrary(library_), S_OK);
}

TEST_F(ComponentActivationTest, ReportsWhatIsNotRegisteredOrCannotLoad) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(host::CreateInstanceByProgID(u"No.Such.Class", IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host::CreateInstanceByCLSID(CLSID_Tolvarine, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);

  const std::u16string classKey = u"CLSID\\" + plat::GuidToString(CLSID_Tolvarine);
  SetKeys({{u"Broken.ProgID\\CLSID", u"not a guid"},
           {classKey + u"\\InprocServer32", U16(registry_.Directory() / "missing.so")}});
  EXPECT_EQ(host::CreateInstanceByProgID(u"Broken.ProgID", IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  EXPECT_EQ(host::CreateInstanceByCLSID(CLSID_Tolvarine, IID_IUnknown, &object),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
}

TEST_F(ComponentActivationTest, ProgIDFollowsCurVerAndSurvivesLoops) {
  const std::u16string target = u"{11111111-2222-3333-4444-555555555555}";
  SetKeys({{u"Old.Name", u"Old"},
           {u"Old.Name\\CurVer", u"New.Name.2"},
           {u"Old.Name\\CLSID", u"{99999999-2222-3333-4444-555555555555}"},
           {u"New.Name.2\\CLSID", target},
           {u"Loop.A\\CurVer", u"Loop.B"},
           {u"Loop.B\\CurVer", u"Loop.A"},
           {u"Loop.B\\CLSID", target}});
  CLSID clsid;
  ASSERT_EQ(host::CLSIDFromProgID(u"Old.Name", &clsid), S_OK);
  EXPECT_EQ(plat::GuidToString(clsid), target);
  EXPECT_EQ(host::CLSIDFromProgID(u"Loop.A", &clsid), S_OK);
}

}  // namespace
