// The library's class object, lock count and component identity, through
// the exported entry points as a host calls them.
#include "tests/server/server_test_support.h"

namespace {

using servertest::LoadedServer;

constexpr GUID kOtherClsid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class ClassObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Ready()); }
  // Everything a test took must have been given back.
  void TearDown() override {
    if (server_.Ready()) {
      EXPECT_EQ(server_.CanUnloadNow(), S_OK);
    }
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(server_.GetClassObject(CLSID_Tolvarine, IID_IClassFactory,
                                     reinterpret_cast<void**>(factory.Put())),
              S_OK);
    return factory;
  }

  LoadedServer server_;
};

TEST_F(ClassObjectTest, HandsOutOneClassObjectForTheComponentClassOnly) {
  EXPECT_EQ(server_.GetClassObject(CLSID_Tolvarine, IID_IClassFactory, nullptr), E_POINTER);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(server_.GetClassObject(kOtherClsid, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(server_.GetClassObject(CLSID_Tolvarine, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  ComPtr<IClassFactory> first = Factory();
  ComPtr<IClassFactory> second = Factory();
  EXPECT_EQ(first.Get(), second.Get());
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.Put())), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(first.Get()));
}

TEST_F(ClassObjectTest, CanUnloadOnlyWhenNothingHoldsTheLibrary) {
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);  // An outside reference to the class object.
  ComPtr<IUnknown> component;
  ASSERT_EQ(
      factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(component.Put())),
      S_OK);
  ASSERT_EQ(factory->LockServer(1), S_OK);
  factory.Reset();
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(Factory()->LockServer(0), S_OK);
  // An unlock without a lock to match is ignored: it must not take the
  // lock of the live component.
  EXPECT_EQ(Factory()->LockServer(0), S_OK);
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
  component.Reset();
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, CreateInstanceRefusesAggregationAndUnknownInterfaces) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

  ComPtr<IUnknown> outer;
  ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(outer.Put())), S_OK);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);

  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  // TearDown checks that the refused object did not keep its module lock.
}

TEST_F(ClassObjectTest, ComponentAnswersItsInterfaceTable) {
  ComPtr<IDTSRuntimeComponent90> runtime;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IDTSRuntimeComponent90,
                                      reinterpret_cast<void**>(runtime.Put())),
            S_OK);
  auto ask = [&](REFIID iid) -> void* {
    void* object = nullptr;
    HRESULT hr = runtime->QueryInterface(iid, &object);
    if (FAILED(hr)) {
      EXPECT_EQ(hr, E_NOINTERFACE);
      EXPECT_EQ(object, nullptr);
      return nullptr;
    }
    static_cast<IUnknown*>(object)->Release();
    return object;
  };
  void* const runtimeInterface = static_cast<IDTSRuntimeComponent90*>(runtime.Get());
  EXPECT_EQ(ask(IID_IUnknown), runtimeInterface);
  EXPECT_EQ(ask(IID_IDispatch), runtimeInterface);
  EXPECT_EQ(ask(IID_IDTSRuntimeComponent90), runtimeInterface);
  void* const designtime = ask(IID_IDTSDesigntimeComponent90);
  EXPECT_NE(designtime, nullptr);
  EXPECT_NE(designtime, runtimeInterface);
  void* const own = ask(IID_ITolvarine);
  EXPECT_NE(own, nullptr);
  EXPECT_NE(own, runtimeInterface);
  EXPECT_EQ(ask(IID_IClassFactory), nullptr);
  EXPECT_EQ(ask(kOtherClsid), nullptr);
  EXPECT_EQ(runtime->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  // The type library describes neither host interface.
  uint32_t count = 0;
  EXPECT_EQ(runtime->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(runtime->GetTypeInfo(0, 0x409, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(info, nullptr);
  info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(runtime->GetTypeInfo(1, 0x409, &info), DISP_E_BADINDEX);  // There is one.
  EXPECT_EQ(info, nullptr);
  DISPID id = 0;
  std::u16string name = u"PreExecute";  // OLECHAR is wchar_t on Windows.
  OLECHAR* names[] = {reinterpret_cast<OLECHAR*>(name.data())};
  EXPECT_EQ(runtime->GetIDsOfNames(IID_IUnknown, names, 1, 0x409, &id), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(runtime->Invoke(1, IID_IUnknown, 0x409, 1, nullptr, nullptr, nullptr, nullptr),
            TYPE_E_ELEMENTNOTFOUND);
}

}  // namespace
