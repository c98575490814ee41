// The type library the library carries, and the component's IDispatch
// answers from it, registered or not.
#include <windows.h>

#include "tests/server/server_test_support.h"

namespace {

using servertest::LoadedServer;
using servertest::ScopedRegistry;

// Releases an automation object at the end of a scope.
template <class T>
struct Released {
  T* Object = nullptr;
  ~Released() {
    if (Object) Object->Release();
  }
};

std::wstring Documentation(ITypeInfo* info) {
  BSTR text = nullptr;
  if (FAILED(info->GetDocumentation(MEMBERID_NIL, nullptr, &text, nullptr, nullptr))) return L"?";
  std::wstring result = text ? text : L"";
  ::SysFreeString(text);
  return result;
}

TEST(TypeLibrary, TheLibraryDescribesItsOwnInterfaceAndClassOnly) {
  Released<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLibEx(servertest::LibraryFile().wstring().c_str(), REGKIND_NONE,
                            &library.Object),
            S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library.Object->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(::IsEqualGUID(attributes->guid, LIBID_TolvarineLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  library.Object->ReleaseTLibAttr(attributes);
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(library.Object->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"TolvarineLib");
  EXPECT_STREQ(help, L"Tolvarine 1.0 Type Library");
  ::SysFreeString(name);
  ::SysFreeString(help);
  EXPECT_EQ(library.Object->GetTypeInfoCount(), 2u);

  Released<ITypeInfo> own;
  ASSERT_EQ(library.Object->GetTypeInfoOfGuid(IID_ITolvarine, &own.Object), S_OK);
  EXPECT_EQ(Documentation(own.Object), L"ITolvarine Interface");
  TYPEATTR* type = nullptr;
  ASSERT_EQ(own.Object->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_INTERFACE);
  EXPECT_EQ(type->cFuncs, 0);
  EXPECT_EQ(type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), 0);
  own.Object->ReleaseTypeAttr(type);

  Released<ITypeInfo> component;
  ASSERT_EQ(library.Object->GetTypeInfoOfGuid(CLSID_Tolvarine, &component.Object), S_OK);
  EXPECT_EQ(Documentation(component.Object), L"Tolvarine Transform");
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

// Registered, the library is found through the registry; unregistered (as
// in the class object's tests), in the library's own file. Either way it
// describes neither host interface.
TEST(TypeLibrary, ARegisteredComponentAnswersFromTheRegisteredLibrary) {
  ScopedRegistry registry;
  LoadedServer server;
  ASSERT_TRUE(server.Ready());
  ASSERT_EQ(server.RegisterServer(), S_OK);
  BSTR path = nullptr;
  ASSERT_EQ(::QueryPathOfRegTypeLib(LIBID_TolvarineLib, 1, 0, 0, &path), S_OK);
  EXPECT_EQ(std::filesystem::path(path), servertest::LibraryFile());
  ::SysFreeString(path);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(server.GetClassObject(CLSID_Tolvarine, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.Put())),
            S_OK);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch,
                                    reinterpret_cast<void**>(dispatch.Put())),
            S_OK);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0x409, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(server.UnregisterServer(), S_OK);
}

}  // namespace
