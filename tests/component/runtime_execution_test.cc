// The run-time interface: pre-execution's reading of the properties, output
// priming, input processing and the engine's life across executions.
#include <algorithm>
#include <tuple>

#include "engine/engine_limits.h"
#include "platform/fault_injection.h"
#include "tests/component/component_test_support.h"
#include "tests/support/key_column.h"

namespace {

using componenttest::ComponentFixture;
using componenttest::ScriptedBuffer;
using plat::Variant;

class RuntimeTest : public ComponentFixture {
 protected:
  // Two upstream columns, both selected; buffer types laid out.
  void Prepare() {
    Shape(
        {{.name = u"key", .dataType = DT_I4}, {.name = u"text", .dataType = DT_STR, .length = 8}});
    ASSERT_EQ(Use(0, UT_READONLY), S_OK);
    ASSERT_EQ(Use(1, UT_READONLY), S_OK);
    ASSERT_EQ(SetColumnProperty(0, u"NewSortKeyPosition", Variant::I4(1).Get()), S_OK);
    ASSERT_EQ(SetProperty(u"SortThreads", Variant::I4(2).Get()), S_OK);
    ASSERT_EQ(SetProperty(u"RAMBudget", Variant::I4(16).Get()), S_OK);
    ASSERT_EQ(SetProperty(u"ScratchAreas", Variant::Str(SysAllocString(scratch_.c_str())).Get()),
              S_OK);
    ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
  }

  ComPtr<host::PipelineBuffer> NewOutputBuffer() {
    return pipeline_->Buffers()->CreateOutputBuffer(Output()->BufferType(), &sink_);
  }

  const std::u16string scratch_ = plat::Utf8ToUtf16(testing::TempDir());
  host::CollectingSink sink_;
};

TEST_F(RuntimeTest, PreExecuteFailsOnTheFirstMissingOrMistypedProperty) {
  // Metadata saved without the component's properties.
  EXPECT_EQ(runtime_->PreExecute(), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(runtime_->PostExecute(), S_OK);

  Prepare();
  ASSERT_EQ(Properties()->Remove(Properties()->FindByName(u"ScratchFileSize")->Id()), true);
  ASSERT_EQ(SetProperty(u"EliminateDuplicates", Variant::I4(-1).Get()), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED);  // Read before the missing one.
  ASSERT_EQ(SetProperty(u"EliminateDuplicates", Variant::Bool(true).Get()), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), DTS_E_ELEMENTNOTFOUND);
  host::AddCustomProperty(*Properties(), u"ScratchFileSize", Variant::I4(200).Get());

  ASSERT_EQ(SetProperty(u"ScratchAreas", Variant::I4(0).Get()), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED);

  // Areas that leave nothing usable fail before the budget is read.
  ASSERT_EQ(SetProperty(u"ScratchAreas", Variant::Str(SysAllocString(u";;")).Get()), S_OK);
  ASSERT_EQ(SetProperty(u"RAMBudget", Variant::Str(SysAllocString(u"x")).Get()), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), E_INVALIDARG);
  EXPECT_EQ(SetProperty(u"sortthreads", Variant::I4(1).Get()), DTS_E_ELEMENTNOTFOUND);
}

TEST_F(RuntimeTest, ForeignPropertyTypesAreRefusedAtPreExecutionAndReferencesAtOnce) {
  Prepare();
  ScriptedBuffer object;  // Any object counting its references.
  VARIANT values[2];
  for (VARIANT& v : values) VariantInit(&v);
  SetDecimal(&values[0], DECIMAL{0, 0, 0, 0, 64});
  values[1].vt = VT_UNKNOWN, values[1].punkVal = &object;
  for (const VARIANT& value : values) {
    ASSERT_EQ(SetProperty(u"RAMBudget", value), S_OK) << value.vt;
    EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED) << value.vt;
    EXPECT_EQ(runtime_->PostExecute(), S_OK);
  }
  EXPECT_EQ(object.refs, 2u);  // The stored value holds one reference ...
  ASSERT_EQ(SetProperty(u"RAMBudget", Variant::I4(16).Get()), S_OK);
  EXPECT_EQ(object.refs, 1u);  // ... which goes with it.

  // A reference into the caller's memory cannot outlive the call: the
  // property keeps its old value.
  int32_t budget = 32;
  VARIANT byReference;
  VariantInit(&byReference);
  byReference.vt = VT_BYREF | VT_I4;
  byReference.llVal = reinterpret_cast<intptr_t>(&budget);
  EXPECT_EQ(SetProperty(u"RAMBudget", byReference), DISP_E_BADVARTYPE);
  EXPECT_EQ(componenttest::IntValue(*Properties(), u"RAMBudget"), 16);
}

// Each refusal is reported as itself, and a failed attempt leaves nothing
// behind for the next one.
TEST_F(RuntimeTest, PreExecuteRefusesWhatTheEngineCannotServe) {
  Prepare();
  auto expectPreExecute = [&](HRESULT want) {
    ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
    EXPECT_EQ(runtime_->PreExecute(), want);
    EXPECT_EQ(runtime_->PostExecute(), S_OK);
  };
  ASSERT_EQ(runtime_->put_BufferManager(nullptr), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED);
  ASSERT_EQ(runtime_->put_BufferManager(pipeline_->Buffers()), S_OK);
  plat::InjectFault(plat::FaultSite::kHeapCreate, 0, ERROR_NOT_ENOUGH_MEMORY);
  expectPreExecute(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
  plat::ClearFaults();

  // Output columns changed behind the component's back; a wider slot is fine.
  auto text = OutputColumns()->At(1), key = OutputColumns()->At(0);
  ASSERT_EQ(text->SetDataTypeProperties(DT_STR, 2, 0, 0, 0), S_OK);
  expectPreExecute(TOLVARINE_E_COLUMNMISMATCH);
  ASSERT_EQ(text->SetDataTypeProperties(DT_STR, 40, 0, 0, 0), S_OK);
  ASSERT_EQ(key->SetDataTypeProperties(DT_UI4, 0, 0, 0, 0), S_OK);
  expectPreExecute(TOLVARINE_E_COLUMNMISMATCH);
  ASSERT_EQ(key->SetDataTypeProperties(DT_I4, 0, 0, 0, 0), S_OK);
  expectPreExecute(S_OK);

  // Comparison flags are tried once per string key, not on a column carried along.
  constexpr HRESULT kInvalidFlags = HRESULT_FROM_WIN32(1004);  // ERROR_INVALID_FLAGS
  ASSERT_EQ(SetColumnProperty(1, u"NewComparisonFlags", Variant::I4(0x40).Get()), S_OK);
  expectPreExecute(S_OK);
  ASSERT_EQ(SetColumnProperty(1, u"NewSortKeyPosition", Variant::I4(2).Get()), S_OK);
  for (int32_t flags : {0x40, -1, 0x31, 0x1001}) {
    ASSERT_EQ(SetColumnProperty(1, u"NewComparisonFlags", Variant::I4(flags).Get()), S_OK);
    expectPreExecute(flags == 0x40 || flags == -1 ? kInvalidFlags : S_OK);
  }
}

TEST_F(RuntimeTest, PreExecuteRefusesInputRowsWiderThanTheEngineStores) {
  // Every upstream column counts, selected or not: 130 of about 8 KiB fit
  // into 1 MiB, 131 do not.
  std::vector<host::ColumnSpec> columns(130, {.dataType = DT_WSTR, .length = 4000});
  columns.push_back({.name = u"k", .dataType = DT_I4});
  Shape(columns);
  ASSERT_EQ(Use(130, UT_READONLY), S_OK);
  ASSERT_EQ(SetProperty(u"ScratchAreas", Variant::Str(SysAllocString(scratch_.c_str())).Get()),
            S_OK);
  ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
  ASSERT_LE(pipeline_->Buffers()->Layout(Input()->BufferType())->RowWidth(), kMaxRowWidth);
  EXPECT_EQ(runtime_->PreExecute(), S_OK);
  EXPECT_EQ(runtime_->PostExecute(), S_OK);

  columns.insert(columns.begin(), {.dataType = DT_WSTR, .length = 4000});
  ASSERT_EQ(pipeline_->SetUpstream(columns), S_OK);
  pipeline_->AttachUpstream();
  ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
  EXPECT_EQ(runtime_->PreExecute(), TOLVARINE_E_ROWTOOWIDE);
  EXPECT_EQ(runtime_->PostExecute(), S_OK);
}

TEST_F(RuntimeTest, PrimeOutputKeepsExactlyOneOutputBuffer) {
  Prepare();
  ComPtr<host::PipelineBuffer> first = NewOutputBuffer(), second = NewOutputBuffer();
  const ULONG baseline = first->RefCount();
  int32_t ids[2] = {Output()->Id(), Output()->Id()};
  IDTSBuffer90* buffers[2] = {first.Get(), second.Get()};
  EXPECT_EQ(runtime_->PrimeOutput(2, ids, buffers), E_UNEXPECTED);
  EXPECT_EQ(first->RefCount(), baseline);

  EXPECT_EQ(runtime_->PrimeOutput(1, ids, buffers), S_OK);
  EXPECT_EQ(runtime_->PrimeOutput(1, ids, buffers), S_OK);
  EXPECT_EQ(first->RefCount(), baseline + 1);
  EXPECT_EQ(runtime_->PrimeOutput(1, ids, &buffers[1]), S_OK);
  EXPECT_EQ(first->RefCount(), baseline);
  EXPECT_EQ(second->RefCount(), baseline + 1);
  // The held buffer goes with the component (fixture teardown counts it).
}

TEST_F(RuntimeTest, ProcessInputReturnsHostFailuresAndAlwaysClosesWhatItOpened) {
  Prepare();
  ASSERT_EQ(runtime_->PreExecute(), S_OK);
  const HRESULT kFailure = static_cast<HRESULT>(0xC0047020u);
  const struct {
    HRESULT open, end, data;
    uint32_t rows;
    VARIANT_BOOL endOfRowset;
    HRESULT want;
    int closes;
  } cases[] = {
      {kFailure, S_OK, S_OK, 0, VARIANT_FALSE, kFailure, 0},
      {S_OK, kFailure, S_OK, 0, VARIANT_FALSE, kFailure, 1},
      {S_OK, S_OK, kFailure, 3, VARIANT_FALSE, kFailure, 1},
      {S_OK, S_OK, S_OK, 3, VARIANT_FALSE, E_INVALIDARG, 1},  // Claims rows it does not show.
      {S_FALSE, S_FALSE, S_OK, 0, VARIANT_FALSE, S_OK, 1},    // Other success codes succeed.
      {S_OK, S_OK, S_OK, 0, VARIANT_TRUE, E_UNEXPECTED, 1},   // The end before any output buffer.
  };
  for (const auto& c : cases) {
    ScriptedBuffer buffer;
    buffer.closeResult = E_FAIL;  // Ignored by the component.
    buffer.openResult = c.open, buffer.endResult = c.end, buffer.dataResult = c.data;
    buffer.rowCount = c.rows, buffer.endOfRowset = c.endOfRowset;
    EXPECT_EQ(runtime_->ProcessInput(Input()->Id(), &buffer), c.want);
    EXPECT_EQ(std::tuple(buffer.opens, buffer.closes, buffer.refs), std::tuple(1, c.closes, 1u));
  }
  EXPECT_EQ(runtime_->ProcessInput(Input()->Id(), nullptr), E_POINTER);
  EXPECT_EQ(runtime_->PostExecute(), S_OK);
}

TEST_F(RuntimeTest, ReleasingARunningComponentStopsItsEngine) {
  Prepare();
  ASSERT_EQ(runtime_->PreExecute(), S_OK);
  ComPtr<host::PipelineBuffer> output = NewOutputBuffer();
  int32_t id = Output()->Id();
  IDTSBuffer90* buffers[] = {output.Get()};
  ASSERT_EQ(runtime_->PrimeOutput(1, &id, buffers), S_OK);
  ComPtr<host::PipelineBuffer> input =
      pipeline_->Buffers()->CreateInputBuffer(Input()->BufferType());
  for (int i = 0; i < 100; ++i) {
    uint8_t* row = input->AppendRow();
    ASSERT_TRUE(host::WriteValue(row, input->Layout().Column(0), int32_t{100 - i}));
  }
  ASSERT_EQ(runtime_->ProcessInput(Input()->Id(), input.Get()), S_OK);
  // No PostExecute: the last reference goes while the engine's threads run.
  // The fixture then finds every host object (the output buffer too) released.
}

using RunnerTest = ComponentFixture;

TEST_F(RunnerTest, EmptyInputEndsAnEmptyOutputAndTheObjectRunsAgain) {
  ASSERT_EQ(pipeline_->SetUpstream({{.name = u"k", .dataType = DT_UI2}}), S_OK);
  host::PipelineRunner runner(runtime_.Get(), *pipeline_);
  ASSERT_TRUE(
      runner.Design({KeyColumn(0, 1)}, {{u"ScratchAreas", plat::Utf8ToUtf16(testing::TempDir())}})
          .ok());
  // Then the same object sorts rows, the last buffer an empty one flagged end.
  const std::pair<uint64_t, bool> runs[] = {{0, false}, {0, true}, {1000, true}};
  for (const auto& [rows, emptyLastBuffer] : runs) {
    host::CallbackSource source(
        rows,
        [&](uint64_t i, uint8_t* row, const host::BufferLayout& l) {
          host::WriteValue(row, l.Column(0), static_cast<uint16_t>(rows - 1 - i));
        },
        emptyLastBuffer);
    host::CollectingSink sink;
    host::RunResult result = runner.Execute(source, sink);
    ASSERT_TRUE(result.ok()) << result.Describe();
    ASSERT_EQ(sink.RowCount(), rows);
    EXPECT_TRUE(sink.Ended());
    for (uint16_t i = 0; i < rows; ++i) {
      uint16_t value = 0;
      host::ReadValue(sink.Row(i), sink.Layout()->Column(0), &value);
      ASSERT_EQ(value, i);
    }
  }
}

// The statistics of the last execution, read through the component's own
// interface: each row in is a row out, spills counted only when made.
TEST_F(RunnerTest, StatisticsCountSpillsAndUnknownInterfacesAreRefused) {
  ASSERT_EQ(pipeline_->SetUpstream({{.name = u"k", .dataType = DT_I8},
                                    {.name = u"pad", .dataType = DT_WSTR, .length = 60}}),
            S_OK);
  ComPtr<ITolvarineStatistics> statistics;
  ASSERT_EQ(runtime_->QueryInterface(IID_ITolvarineStatistics,
                                     reinterpret_cast<void**>(statistics.Put())),
            S_OK);
  // 20000 rows of 160 bytes (3.2 MB) against 1 MiB: never all in memory at once.
  for (const auto& [budgetMB, rows] : {std::pair(1, 20000), std::pair(64, 3000)}) {
    host::CallbackSource source(rows, [](uint64_t i, uint8_t* row, const host::BufferLayout& l) {
      host::WriteValue(row, l.Column(0), static_cast<int64_t>((i * 7919) % 100003));
      host::WriteWStr(row, l.Column(1), u"padding that makes each row wide");
    });
    host::CollectingSink sink;
    const host::RunResult result =
        host::PipelineRunner(runtime_.Get(), *pipeline_)
            .Run({KeyColumn(0, 1), {.upstreamIndex = 1}},
                 {{u"RAMBudget", budgetMB},
                  {u"ScratchAreas", plat::Utf8ToUtf16(testing::TempDir())}},
                 source, sink);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(sink.RowCount(), size_t(rows));
    TolvarineStatistics counted{};
    ASSERT_EQ(statistics->GetStatistics(&counted), S_OK);
    EXPECT_EQ(std::tuple(counted.RowsIn, counted.RowsOut),
              std::tuple(uint64_t(rows), uint64_t(rows)));
    EXPECT_GE(counted.Runs, 1u);
    EXPECT_GT(counted.PeakBytesInMemory, 0u);
    EXPECT_EQ(counted.BytesSpilled > 0, budgetMB == 1);
    EXPECT_EQ(counted.ScratchFilesWritten > 0, budgetMB == 1);
    if (budgetMB == 1) {
      EXPECT_LT(counted.PeakBytesInMemory, 3u << 20);
    }
  }
  const IID unknown = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = &object;
  EXPECT_EQ(runtime_->QueryInterface(unknown, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
