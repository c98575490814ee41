// The library's class object, lock count and component identity, through its entry points.
#include "tests/server/server_test_support.h"

namespace {

using servertest::LoadedServer;

constexpr GUID kOtherClsid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class ClassObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Ready()); }
  void TearDown() override {  // Everything a test took must have been given back.
    EXPECT_TRUE(!server_.Ready() || server_.CanUnloadNow() == S_OK);
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

// Refused requests null the out-argument and keep no module lock (TearDown).
TEST_F(ClassObjectTest, HandsOutOneClassObjectAndRefusesWhatItCannotCreate) {
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

  EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(first->CreateInstance(unknown.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(first->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
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
  // An unmatched unlock is ignored: it must not take the live component's lock.
  EXPECT_EQ(Factory()->LockServer(0), S_OK);
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
  component.Reset();
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
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
  for (const GUID* other : {&IID_IDTSDesigntimeComponent90, &IID_ITolvarine}) {
    void* const answer = ask(*other);
    EXPECT_TRUE(answer != nullptr && answer != runtimeInterface);
  }
  EXPECT_EQ(ask(IID_IClassFactory), nullptr);
  EXPECT_EQ(runtime->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  // The type library describes neither host interface.
  uint32_t count = 0;
  EXPECT_EQ(runtime->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(runtime->GetTypeInfo(0, 0x409, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(info, nullptr);
}

}  // namespace
