// Creating the component as COM does: through the registry or straight from
// the library, and unloading the library once nothing holds it.
#include "host/component_factory.h"

#include <fstream>
#include <iterator>

#include "platform/com_activation.h"
#include "platform/module_path.h"
#include "tests/server/server_test_support.h"

namespace {

using servertest::ScopedRegistry;
using servertest::U16;

class ComponentFactoryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host::FreeUnusedLibraries();
    EXPECT_FALSE(plat::IsLibraryLoaded(library_));
  }

  void SetKeys(const std::vector<std::pair<std::u16string, std::u16string>>& defaults) {
    plat::RegistryTransaction transaction;
    ASSERT_TRUE(transaction.Begin());
    for (const auto& [key, text] : defaults) {
      ASSERT_TRUE(transaction.Tree().CreateKey(key));
      ASSERT_TRUE(transaction.Tree().SetString(key, u"", text));
    }
    ASSERT_TRUE(transaction.Commit());
  }

  ScopedRegistry registry_;
  const std::u16string library_ = U16(servertest::LibraryFile());
};

TEST_F(ComponentFactoryTest, CreatesByProgIDFromTheRegistrationAndUnloadsAfterRelease) {
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
  ASSERT_EQ(host::UnregisterServerLibrary(library_), S_OK);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(host::CreateInstanceByProgID(u"Tolvarine.Tolvarine", IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  EXPECT_EQ(object, nullptr);
}

// A library reached by path and by its registration is one loaded library:
// one entry to unload, and nothing left loaded after it.
TEST_F(ComponentFactoryTest, PathAndRegistrationShareOneLoadedLibrary) {
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

// The directory a program looks for the component in, from an address in
// the library (the object's table of methods).
TEST_F(ComponentFactoryTest, ModuleDirectoryIsTheLibrarysOwn) {
  ComPtr<IUnknown> object;
  ASSERT_EQ(host::CreateInstanceFromLibrary(library_, CLSID_Tolvarine, IID_IUnknown,
                                            reinterpret_cast<void**>(object.Put())),
            S_OK);
  std::u16string directory;
  ASSERT_TRUE(plat::ModuleDirectory(*reinterpret_cast<void**>(object.Get()), &directory));
  EXPECT_EQ(directory, library_.substr(0, library_.rfind(u'/') + 1));
}

TEST_F(ComponentFactoryTest, ReportsWhatIsNotRegisteredOrCannotLoad) {
  void* object = nullptr;
  EXPECT_EQ(host::CreateInstanceByProgID(u"No.Such.Class", IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  EXPECT_EQ(host::CreateInstanceByCLSID(CLSID_Tolvarine, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);

  const std::u16string classKey = u"CLSID\\" + plat::GuidToString(CLSID_Tolvarine);
  SetKeys({{u"Broken.ProgID\\CLSID", u"not a guid"},
           {classKey + u"\\InprocServer32", U16(registry_.Directory() / "missing.so")}});
  EXPECT_EQ(host::CreateInstanceByProgID(u"Broken.ProgID", IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  EXPECT_EQ(host::CreateInstanceByCLSID(CLSID_Tolvarine, IID_IUnknown, &object),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

  // The library answers for its own class only; a refused request leaves
  // nothing loaded.
  const GUID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(host::CreateInstanceFromLibrary(library_, other, IID_IUnknown, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(plat::IsLibraryLoaded(library_));
}

TEST_F(ComponentFactoryTest, ProgIDFollowsCurVerAndSurvivesLoops) {
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

TEST(LibraryFile, CarriesItsVersionStrings) {
  std::ifstream in(servertest::LibraryFile(), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const char* field :
       {"FileVersion=1.0.0.2", "ProductVersion=1.0.0.3", "FileDescription=Tolvarine Component",
        "ProductName=Tolvarine Component", "InternalName=Tolvarine.dll",
        "OriginalFilename=Tolvarine.dll"}) {
    EXPECT_NE(bytes.find(std::string(field) + '\0'), std::string::npos) << field;
  }
}

}  // namespace
