// Creating the component straight from the library, as a program with the library beside it does.
#include "host/component_factory.h"

#include "platform/module_path.h"
#include "tests/server/server_test_support.h"

namespace {

class ComponentFactoryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host::FreeUnusedLibraries();
    EXPECT_FALSE(plat::IsLibraryLoaded(library_));
  }

  const std::u16string library_ = servertest::U16(servertest::LibraryFile());
};

// The directory found from an address in the library (the object's method table) is its own.
TEST_F(ComponentFactoryTest, ModuleDirectoryIsTheLibrarysOwn) {
  ComPtr<IUnknown> object;
  ASSERT_EQ(host::CreateInstanceFromLibrary(library_, CLSID_Tolvarine, IID_IUnknown,
                                            reinterpret_cast<void**>(object.Put())),
            S_OK);
  std::u16string directory;
  ASSERT_TRUE(plat::ModuleDirectory(*reinterpret_cast<void**>(object.Get()), &directory));
  EXPECT_EQ(directory, library_.substr(0, library_.find_last_of(plat::kPathSeparators) + 1));
}

// A refused class leaves nothing loaded.
TEST_F(ComponentFactoryTest, AnswersForItsOwnClassOnly) {
  void* object = reinterpret_cast<void*>(1);
  const GUID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(host::CreateInstanceFromLibrary(library_, other, IID_IUnknown, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(plat::IsLibraryLoaded(library_));
  EXPECT_EQ(object, nullptr);
}

}  // namespace
