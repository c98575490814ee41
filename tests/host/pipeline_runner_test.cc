#include "host/pipeline_runner.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "host/pipeline_host.h"
#include "tests/host/fake_component.h"

namespace host {
namespace {

using testing::FakeComponent;

// Upstream: id I4, name WSTR(10), blob BYTES(4), weight R8 (never selected).
class PipelineRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipeline_->SetUpstream({{.name = u"id", .dataType = DT_I4},
                                      {.name = u"name", .dataType = DT_WSTR, .length = 10},
                                      {.name = u"blob", .dataType = DT_BYTES, .length = 4},
                                      {.name = u"weight", .dataType = DT_R8}}),
              S_OK);
    pipeline_->Buffers()->SetLimits({.maxRows = 1000});
  }
  void TearDown() override {
    ReleaseComponent();
    pipeline_.reset();
    EXPECT_EQ(LiveObjectCount(), baseline_) << "a host object was leaked";
  }
  void ReleaseComponent() {
    if (component_) {
      EXPECT_EQ(component_->Release(), 0u) << "a reference to the component leaked";
    }
    component_ = nullptr;
  }

  // Each run has a component of its own; the last one's references must all be back.
  RunResult Run(FakeComponent::Faults faults, RowSource& source, RowSink& sink) {
    ReleaseComponent();
    component_ = FakeComponent::Create(faults);
    PipelineRunner runner(static_cast<IDTSRuntimeComponent90*>(component_), *pipeline_);
    return runner.Run(columns_, settings_, source, sink);
  }

  // Row i: id i; name "n<i>" or NULL every 7th row; blob of i % 5 bytes.
  static void FillRow(uint64_t i, uint8_t* row, const BufferLayout& layout) {
    WriteValue(row, layout.Column(0), static_cast<int32_t>(i));
    if (i % 7 == 3) {
      SetNull(row, layout.Column(1));
    } else {
      WriteWStr(row, layout.Column(1), u"n" + std::u16string(1, u'a' + i % 26));
    }
    const uint8_t bytes[] = {uint8_t(i), uint8_t(i >> 8), 0xFE, 0xFF};
    WriteBytes(row, layout.Column(2), std::span<const uint8_t>(bytes, i % 5));
    WriteValue(row, layout.Column(3), 1.5);
  }

  int64_t baseline_ = LiveObjectCount();
  std::unique_ptr<Pipeline> pipeline_ = std::make_unique<Pipeline>();
  FakeComponent* component_ = nullptr;
  std::vector<ColumnChoice> columns_ = {
      {.upstreamIndex = 0, .properties = {{u"NewSortKeyPosition", int32_t{1}}}},
      {.upstreamIndex = 1, .properties = {{u"NewComparisonFlags", int32_t{17}}}},
      {.upstreamIndex = 2, .usageType = UT_READWRITE}};
  std::vector<PropertySetting> settings_ = {{u"EliminateDuplicates", true},
                                            {u"SortThreads", int32_t{2}},
                                            {u"ScratchAreas", std::u16string(u"/tmp")}};
};

TEST_F(PipelineRunnerTest, DrivesTheComponentInTheHostsOrderAndTranslatesRowsBetweenLayouts) {
  CallbackSource source(2501, FillRow);
  CollectingSink sink;
  RunResult result = Run({}, source, sink);
  ASSERT_TRUE(result.ok()) << result.Describe();

  std::string calls;
  for (const std::string& call : component_->Calls()) calls += call + " ";
  EXPECT_EQ(calls,
            "put_ComponentMetaData put_BufferManager ProvideComponentProperties SetUsageType(1) "
            "SetUsageType(1) SetUsageType(2) SetInputColumnProperty(NewSortKeyPosition=1) "
            "SetInputColumnProperty(NewComparisonFlags=17) "
            "SetComponentProperty(EliminateDuplicates:11) SetComponentProperty(SortThreads:3) "
            "SetComponentProperty(ScratchAreas:8) put_ComponentMetaData put_BufferManager "
            "PreExecute PrimeOutput(1) ProcessInput ProcessInput ProcessInput PostExecute ");
  // Every input buffer reaches the component on one source thread, not this one.
  std::vector<std::thread::id> threads = component_->ProcessInputThreads();
  EXPECT_EQ(threads, std::vector<std::thread::id>(3, threads.at(0)));
  EXPECT_NE(threads[0], std::this_thread::get_id());
  EXPECT_EQ(std::tuple(result.rowsIn, result.rowsOut, result.inputBuffers, result.outputBlocks),
            std::tuple(2501u, 2501u, 3u, 3u));
  EXPECT_TRUE(result.outputEnded);
  EXPECT_EQ(sink.BlockSizes(), (std::vector<uint32_t>{1000, 1000, 501}));
  EXPECT_FALSE(component_->HoldsOutputBuffer());

  // The output has the three selected columns, laid out unlike the input.
  auto inLayout =
      pipeline_->Buffers()->Layout(pipeline_->Metadata()->Inputs()->At(0)->BufferType());
  const BufferLayout* outLayout = sink.Layout();
  ASSERT_EQ(outLayout->ColumnCount(), 3u);
  EXPECT_NE(inLayout->Column(2).LengthOffset, outLayout->Column(2).LengthOffset);
  std::vector<uint8_t> want(inLayout->RowWidth());
  ASSERT_EQ(sink.RowCount(), 2501u);
  for (uint32_t i = 0; i < 2501; ++i) {
    std::fill(want.begin(), want.end(), 0);
    FillRow(i, want.data(), *inLayout);
    const uint8_t* row = sink.Row(i);
    int32_t id = -1;
    ReadValue(row, outLayout->Column(0), &id);
    ASSERT_EQ(id, static_cast<int32_t>(i));
    ASSERT_EQ(IsNull(row, outLayout->Column(1)), i % 7 == 3);
    ASSERT_EQ(ReadWStr(row, outLayout->Column(1)), ReadWStr(want.data(), inLayout->Column(1)));
    auto got = ReadBytes(row, outLayout->Column(2)),
         bytes = ReadBytes(want.data(), inLayout->Column(2));
    ASSERT_TRUE(std::equal(got.begin(), got.end(), bytes.begin(), bytes.end())) << "row " << i;
  }
}

TEST_F(PipelineRunnerTest, EmptyInputsAndEmptyLastBuffersEndTheRowset) {
  for (uint64_t rows : {0, 2000}) {  // 2000: 1000, 1000, then an empty one flagged end.
    CallbackSource source(rows, FillRow, /*emptyLastBuffer=*/rows > 0);
    CollectingSink sink;
    RunResult result = Run({}, source, sink);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result.inputBuffers, rows ? 3u : 1u);
    EXPECT_EQ(sink.RowCount(), rows);
    EXPECT_TRUE(sink.Ended());
  }
}

class FailingSource : public RowSource {
 public:
  HRESULT Fill(PipelineBuffer&, bool* end) override {
    return *end = false, ++calls_ == 2 ? HRESULT_FROM_WIN32(ERROR_DISK_FULL) : S_OK;
  }
  int calls_ = 0;
};

class RefusingSink : public RowSink {
 public:
  HRESULT Consume(const RowBlock&) override { return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE); }
};

// Each failure names its step, the component's held buffer is let go of, and
// PostExecute follows every failure after PreExecute.
TEST_F(PipelineRunnerTest, FailuresNameTheirStepAndPostExecuteFollowsPreExecute) {
  constexpr size_t kAny = SIZE_MAX;
  const struct {
    FakeComponent::Faults faults;
    bool failingSource, refusingSink;
    RunStep step;
    HRESULT hr;
    size_t processInputs;
    bool postExecute;
  } cases[] = {
      {{.failProcessInputCall = 1}, false, false, RunStep::kProcessInput, E_FAIL, 2, true},
      {{.primeOutput = E_OUTOFMEMORY}, false, false, RunStep::kPrimeOutput, E_OUTOFMEMORY, 0, true},
      {{.preExecute = E_UNEXPECTED}, false, false, RunStep::kPreExecute, E_UNEXPECTED, 0, false},
      {{.endOutput = false}, false, false, RunStep::kOutputNotEnded, E_UNEXPECTED, 3, true},
      {{}, true, false, RunStep::kSource, HRESULT_FROM_WIN32(ERROR_DISK_FULL), 1, true},
      {{}, false, true, RunStep::kOutput, HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE), kAny, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(RunStepName(c.step));
    CallbackSource rows(2500, FillRow);
    FailingSource failingSource;
    CollectingSink collecting;
    RefusingSink refusing;
    RunResult result =
        Run(c.faults, c.failingSource ? static_cast<RowSource&>(failingSource) : rows,
            c.refusingSink ? static_cast<RowSink&>(refusing) : collecting);
    EXPECT_EQ(result.step, c.step);
    EXPECT_EQ(result.hr, c.hr);
    std::vector<std::string> calls = component_->Calls();
    if (c.processInputs != kAny) {
      EXPECT_EQ(size_t(std::count(calls.begin(), calls.end(), "ProcessInput")), c.processInputs);
    }
    EXPECT_EQ(calls.back() == "PostExecute", c.postExecute);
    EXPECT_FALSE(component_->HoldsOutputBuffer());
    if (c.refusingSink) {
      EXPECT_EQ(result.rowsOut, 0u);
      EXPECT_EQ(result.Describe(), "output: 0x8007006D");
    }
  }
}

TEST_F(PipelineRunnerTest, RefusesObjectsThatAreNotComponents) {
  ComPtr<Output> notAComponent = pipeline_->Metadata()->Outputs()->AddNew();
  PipelineRunner runner(notAComponent.Get(), *pipeline_);
  CallbackSource source(1, FillRow);
  CollectingSink sink;
  RunResult result = runner.Run({}, {}, source, sink);
  EXPECT_EQ(result.step, RunStep::kQueryInterface);
  EXPECT_EQ(result.hr, E_NOINTERFACE);
}

}  // namespace
}  // namespace host
