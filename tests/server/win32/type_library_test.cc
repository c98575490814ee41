// The type library the library carries: its own interface and class, no host interface.
#include <windows.h>

#include "tests/server/server_test_support.h"

namespace {

// Releases an automation object at the end of a scope.
template <class T>
struct Released {
  T* Object = nullptr;
  ~Released() {
    if (Object) Object->Release();
  }
};

TEST(TypeLibrary, TheLibraryDescribesItsOwnInterfaceAndClassOnly) {
  Released<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLibEx(servertest::LibraryFile().wstring().c_str(), REGKIND_NONE,
                            &library.Object),
            S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library.Object->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(::IsEqualGUID(attributes->guid, LIBID_TolvarineLib));
  EXPECT_EQ(attributes->wMajorVerNum * 100 + attributes->wMinorVerNum, 100);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  library.Object->ReleaseTLibAttr(attributes);
  EXPECT_EQ(library.Object->GetTypeInfoCount(), 2u);

  Released<ITypeInfo> own;
  ASSERT_EQ(library.Object->GetTypeInfoOfGuid(IID_ITolvarine, &own.Object), S_OK);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(own.Object->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_INTERFACE);
  EXPECT_EQ(type->cFuncs, 0);
  EXPECT_EQ(type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), 0);
  own.Object->ReleaseTypeAttr(type);

  Released<ITypeInfo> component;
  ASSERT_EQ(library.Object->GetTypeInfoOfGuid(CLSID_Tolvarine, &component.Object), S_OK);
  ASSERT_EQ(component.Object->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_COCLASS);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  component.Object->ReleaseTypeAttr(type);
  INT implemented = 0;
  ASSERT_EQ(component.Object->GetImplTypeFlags(0, &implemented), S_OK);
  EXPECT_NE(implemented & IMPLTYPEFLAG_FDEFAULT, 0);

  Released<ITypeInfo> host;
  EXPECT_EQ(library.Object->GetTypeInfoOfGuid(IID_IDTSRuntimeComponent90, &host.Object),
            TYPE_E_ELEMENTNOTFOUND);
}

}  // namespace
