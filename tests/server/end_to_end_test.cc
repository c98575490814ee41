// Register, create through the registration, sort more rows than the budget holds, unload.
#include <algorithm>
#include <cstring>
#include <string>

#include "host/component_factory.h"
#include "host/pipeline_host.h"
#include "tests/server/server_test_support.h"
#include "tests/support/key_column.h"

namespace {

using servertest::ScopedRegistry;
using servertest::U16;

// Upper-case ASCII, so that ordinal comparison is plain byte order.
std::string Code(uint64_t i) {
  uint64_t x = i * 2654435761u % 456976;
  std::string code(4, 'A');
  for (char& c : code) {
    c = static_cast<char>('A' + x % 26);
    x /= 26;
  }
  return code;
}

TEST(EndToEnd, RegisteredComponentSortsMoreThanItsBudgetAndTheLibraryUnloads) {
  ScopedRegistry registry;
  const std::u16string library = U16(servertest::LibraryFile());
  ASSERT_EQ(host::RegisterServerLibrary(library), S_OK);
  const std::filesystem::path scratch = registry.Directory() / "scratch";
  std::filesystem::create_directory(scratch);

  constexpr uint64_t kRows = 25000;  // About 2.5 MB of rows against a 1 MB budget.
  {
    ComPtr<IUnknown> component;
    ASSERT_EQ(servertest::CreateRegisteredComponent(IID_IUnknown,
                                                    reinterpret_cast<void**>(component.Put())),
              S_OK);
    host::Pipeline pipeline;
    ASSERT_EQ(pipeline.SetUpstream({{.name = u"code", .dataType = DT_STR, .length = 4},
                                    {.name = u"serial", .dataType = DT_I4},
                                    {.name = u"payload", .dataType = DT_BYTES, .length = 64},
                                    {.name = u"stamp", .dataType = DT_R8}}),
              S_OK);
    host::CallbackSource source(kRows, [](uint64_t i, uint8_t* row, const host::BufferLayout& l) {
      host::WriteStr(row, l.Column(0), Code(i));
      host::WriteValue(row, l.Column(1), static_cast<int32_t>(i % 1000));
      uint8_t payload[64];
      std::memset(payload, static_cast<int>(i & 0xFF), sizeof payload);
      host::WriteBytes(row, l.Column(2), std::span<const uint8_t>(payload, 1 + i % 64));
      host::WriteValue(row, l.Column(3), static_cast<double>(i));
    });
    host::CollectingSink sink;
    host::PipelineRunner runner(component.Get(), pipeline);
    // Code ascending (ordinal), serial descending; payload and stamp carried.
    host::RunResult result = runner.Run(
        {KeyColumn(0, 1, 16), KeyColumn(1, -2), {.upstreamIndex = 2}, {.upstreamIndex = 3}},
        {{u"RAMBudget", int32_t{1}}, {u"SortThreads", int32_t{2}}, {u"ScratchAreas", U16(scratch)}},
        source, sink);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result.rowsIn, kRows);
    ASSERT_EQ(sink.RowCount(), kRows);
    EXPECT_TRUE(sink.Ended());

    const host::BufferLayout& layout = *sink.Layout();
    std::string previousCode;
    int32_t previousSerial = 0;
    for (size_t r = 0; r < sink.RowCount(); ++r) {
      const uint8_t* row = sink.Row(r);
      const std::string code(host::ReadStr(row, layout.Column(0)));
      int32_t serial = 0;
      double stamp = 0;
      host::ReadValue(row, layout.Column(1), &serial);
      host::ReadValue(row, layout.Column(3), &stamp);
      const auto i = static_cast<uint64_t>(stamp);
      // The row arrived whole, and in order.
      ASSERT_EQ(code, Code(i)) << r;
      ASSERT_EQ(serial, static_cast<int32_t>(i % 1000)) << r;
      const auto payload = host::ReadBytes(row, layout.Column(2));
      ASSERT_EQ(payload.size(), 1 + i % 64) << r;
      ASSERT_EQ(payload[0], static_cast<uint8_t>(i & 0xFF)) << r;
      if (r > 0) {
        ASSERT_LE(previousCode, code) << r;
        ASSERT_TRUE(previousCode != code || previousSerial >= serial) << r;
      }
      previousCode = code;
      previousSerial = serial;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(scratch));  // Every scratch file deleted.
  EXPECT_EQ(host::FreeUnusedLibraries(), 1u);
  EXPECT_FALSE(plat::IsLibraryLoaded(library));
}

}  // namespace
