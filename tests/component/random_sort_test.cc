// Random typed rows through a budget small enough to spill, checked against an
// order worked out here: NaNs (any payload) equal and first, -0 == +0, dates on
// the time line, NULL first ascending and last descending.
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>

#include "tests/component/component_test_support.h"
#include "tests/support/key_column.h"

namespace {

using componenttest::ComponentFixture;

// Upstream columns, selected in this order; the last one numbers the rows.
enum Column { kReal, kDate, kText, kInteger, kRowNumber, kColumnCount };

struct Values {
  std::optional<double> real, date;
  std::optional<std::string> text;
  std::optional<int32_t> integer;
};

// One key value as this test orders it: class (NULL 0, NaN 1, value 2),
// then the number or the text (std::string compares bytes as unsigned char).
using KeyPart = std::tuple<int, long double, std::string>;

int Order(const KeyPart& a, const KeyPart& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

KeyPart NumberPart(std::optional<double> value, bool isDate = false) {
  if (!value) return {};
  if (std::isnan(*value)) return {1, 0, {}};
  if (!isDate) return {2, *value, {}};
  const long double day = std::trunc(*value);  // Below zero the time of day still counts forward.
  return {2, day + std::fabs(*value - day), {}};
}

struct Direction {
  bool realDescending, dateDescending, textDescending;
};

// Keys: real (1), date (2), text (3, ordinal), integer (4).
int CompareKeys(const Values& a, const Values& b, Direction direction) {
  const std::pair<int, bool> parts[] = {
      {Order(NumberPart(a.real), NumberPart(b.real)), direction.realDescending},
      {Order(NumberPart(a.date, true), NumberPart(b.date, true)), direction.dateDescending},
      {Order(a.text ? KeyPart{2, 0, *a.text} : KeyPart{},
             b.text ? KeyPart{2, 0, *b.text} : KeyPart{}),
       direction.textDescending},
      {Order(NumberPart(a.integer), NumberPart(b.integer)), false}};
  for (const auto& [order, descending] : parts) {
    if (order != 0) return descending ? -order : order;
  }
  return 0;
}

// Few values of each kind, so that keys repeat; NaNs of several bit patterns.
Values RandomValues(std::mt19937_64& random) {
  const double reals[] = {
      std::nan(""), -std::nan(""), std::bit_cast<double>(uint64_t{0x7FF0000000000123}),
      0.0,          -0.0,          -1.5,
      2.0,          INFINITY,      -INFINITY};
  const double dates[] = {-1.25, -1.75, -1.0, -0.5, 0.5, 0.0, 36526.75, std::nan("9")};
  const char* const texts[] = {"", "a", "ab", "B", "\xE9", "ab\x7F"};
  const int32_t integers[] = {-1, 0, 1, INT32_MIN};
  auto pick = [&](const auto& choices) { return choices[random() % std::size(choices)]; };
  auto null = [&] { return random() % 8 == 0; };
  Values values;
  if (!null()) values.real = pick(reals);
  if (!null()) values.date = pick(dates);
  if (!null()) values.text = pick(texts);
  if (!null()) values.integer = pick(integers);
  return values;
}

// Calls f(column, value) for each key value of a row.
template <typename V, typename F>
void ForEachKey(V& values, F f) {
  f(kReal, values.real);
  f(kDate, values.date);
  f(kText, values.text);
  f(kInteger, values.integer);
}

void WriteRow(const Values& values, uint32_t number, uint8_t* row, const host::BufferLayout& l) {
  auto put = [&](Column column, const auto& value) {
    if (!value) return host::SetNull(row, l.Column(column));
    if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, std::string>) {
      ASSERT_TRUE(host::WriteStr(row, l.Column(column), *value));
    } else {
      ASSERT_TRUE(host::WriteValue(row, l.Column(column), *value));
    }
  };
  ForEachKey(values, put);
  ASSERT_TRUE(host::WriteValue(row, l.Column(kRowNumber), static_cast<int32_t>(number)));
}

// The values of an output row, NULLs as they were written.
Values ReadRow(const uint8_t* row, const host::BufferLayout& l, int32_t* number) {
  Values values;
  auto get = [&](Column column, auto& value) {
    if (host::IsNull(row, l.Column(column))) return;
    if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, std::string>) {
      value = host::ReadStr(row, l.Column(column));
    } else if (std::decay_t<decltype(*value)> v{}; host::ReadValue(row, l.Column(column), &v)) {
      value = v;
    }
  };
  ForEachKey(values, get);
  host::ReadValue(row, l.Column(kRowNumber), number);
  return values;
}

bool SameBits(std::optional<double> a, std::optional<double> b) {
  return a.has_value() == b.has_value() &&
         (!a || std::bit_cast<uint64_t>(*a) == std::bit_cast<uint64_t>(*b));
}

class RandomSortTest : public ComponentFixture {
 protected:
  ~RandomSortTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }
  const std::filesystem::path scratch_ =
      std::filesystem::path(testing::TempDir()) /
      ("tolvarine-random-" + std::to_string(std::random_device()()));
};

TEST_F(RandomSortTest, MatchesAnIndependentOrderWhileSpilling) {
  ASSERT_TRUE(std::filesystem::create_directory(scratch_));
  constexpr uint32_t kRows = 20000;  // About 1.2 MB of rows against a 1 MiB budget.
  ASSERT_EQ(pipeline_->SetUpstream({{.name = u"real", .dataType = DT_R8},
                                    {.name = u"date", .dataType = DT_DATE},
                                    {.name = u"text", .dataType = DT_STR, .length = 4},
                                    {.name = u"integer", .dataType = DT_I4},
                                    {.name = u"number", .dataType = DT_I4}}),
            S_OK);
  pipeline_->Buffers()->SetLimits({.maxRows = 2000});  // Many batches, many runs.
  host::PipelineRunner runner(runtime_.Get(), *pipeline_);

  for (const bool eliminateDuplicates : {false, true}) {
    const uint64_t seed = eliminateDuplicates ? 2 : 1;
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    const Direction direction{random() % 2 == 0, random() % 2 == 0, random() % 2 == 0};
    auto position = [](int32_t rank, bool descending) { return descending ? -rank : rank; };
    ASSERT_TRUE(runner
                    .Design({KeyColumn(kReal, position(1, direction.realDescending)),
                             KeyColumn(kDate, position(2, direction.dateDescending)),
                             KeyColumn(kText, position(3, direction.textDescending), 16),
                             KeyColumn(kInteger, 4),
                             {.upstreamIndex = kRowNumber}},
                            {{u"EliminateDuplicates", eliminateDuplicates},
                             {u"RAMBudget", int32_t{1}},
                             {u"SortThreads", int32_t{2}},
                             {u"ScratchAreas", plat::Utf8ToUtf16(scratch_.string())}})
                    .ok());
    std::vector<Values> input(kRows);
    for (Values& values : input) values = RandomValues(random);
    host::CallbackSource source(kRows, [&](uint64_t i, uint8_t* row, const host::BufferLayout& l) {
      WriteRow(input[i], static_cast<uint32_t>(i), row, l);
    });
    host::CollectingSink sink;
    const host::RunResult result = runner.Execute(source, sink);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_TRUE(std::filesystem::is_empty(scratch_)) << "scratch files left";

    // Every output row is a distinct input row, whole, in order; without
    // duplicate elimination all of them, with it one per distinct key.
    std::vector<bool> seen(kRows);
    std::vector<Values> emitted;
    const Values* previous = nullptr;
    for (size_t r = 0; r < sink.RowCount(); ++r) {
      int32_t number = -1;
      const Values values = ReadRow(sink.Row(r), *sink.Layout(), &number);
      ASSERT_TRUE(number >= 0 && static_cast<uint32_t>(number) < kRows && !seen[number]) << r;
      seen[number] = true;
      const Values& original = input[number];
      ASSERT_TRUE(SameBits(values.real, original.real) && SameBits(values.date, original.date) &&
                  values.text == original.text && values.integer == original.integer)
          << r;
      if (previous) {
        const int order = CompareKeys(*previous, original, direction);
        ASSERT_LE(order, 0) << "row " << r << " out of order";
        if (eliminateDuplicates) {
          ASSERT_NE(order, 0) << "row " << r << " repeats a key";
        }
      }
      previous = &original;
      emitted.push_back(original);
    }
    if (!eliminateDuplicates) {
      EXPECT_EQ(sink.RowCount(), kRows);
    } else {
      // Every input key is among those emitted (in key order): none was
      // dropped as a duplicate of a different key.
      for (const Values& values : input) {
        const auto found = std::lower_bound(
            emitted.begin(), emitted.end(), values,
            [&](const Values& a, const Values& b) { return CompareKeys(a, b, direction) < 0; });
        ASSERT_TRUE(found != emitted.end() && CompareKeys(*found, values, direction) == 0);
      }
    }
  }
}

}  // namespace
