#include "tests/engine/engine_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "keys/column_functions.h"
#include "keys/value_functions.h"

namespace enginetest {
namespace {

// Where each column lies; the bytes end where the id's status begins, so a
// comparison reading past its 16-byte slot shows.
struct ColumnPlace {
  int32_t type;
  uint32_t data, length, status, size;
};
constexpr uint32_t kNone = kNoLengthField;
constexpr ColumnPlace kK1{DT_I4, 4, kNone, 0, 4};
constexpr ColumnPlace kK2{DT_I8, 16, kNone, 8, 8};
constexpr ColumnPlace kBytes{DT_BYTES, 32, 24, 28, 16};
constexpr ColumnPlace kId{DT_I4, 52, kNone, 48, 4};
constexpr ColumnPlace kPlaces[] = {kK1, kK2, kBytes};

uint32_t Load(const uint8_t* p) {
  return keys::Load<uint32_t>(p);
}
void Store(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

std::vector<SortColumn> KeysFor(const SortSetup& setup) {
  const int32_t positions[] = {setup.k1Position, setup.k2Position, setup.bytesPosition};
  std::vector<SortColumn> keys;
  for (size_t i = 0; i < 3; ++i) {
    const ColumnPlace& p = kPlaces[i];
    if (positions[i] == 0) continue;
    keys.push_back(KeyColumn(p.type, 0, p.data, p.length, p.status, p.size, positions[i]));
  }
  OrderSortKeys(&keys);
  return keys;
}

}  // namespace

SortColumn KeyColumn(int32_t type, uint32_t flags, uint32_t data, uint32_t length, uint32_t status,
                     uint32_t size, int32_t position) {
  SortColumn c{data, length, status, {}, flags, position, nullptr, nullptr, size};
  c.OutputColumn = {static_cast<uint32_t>(type), size, data, status, length, 0, 0, 0};
  EXPECT_EQ(S_OK, SelectColumnFunctions(type, flags, &c.Compare, &c.Copy));
  return c;
}

int32_t Rows::K1(size_t i) const {
  return static_cast<int32_t>(Load(Row(i) + kK1.data));
}

Rows MakeRows(size_t count, Pattern pattern, uint32_t seed, uint32_t padding, uint32_t nullEvery) {
  std::mt19937 random(seed);
  Rows rows{kBaseWidth + padding, {}};
  rows.data.assign(count * rows.width, 0);
  const auto n = static_cast<int32_t>(count);
  for (int32_t i = 0; i < n; ++i) {
    uint8_t* row = rows.data.data() + static_cast<size_t>(i) * rows.width;
    const int32_t k1[] = {static_cast<int32_t>(random()),    i, n - i, 7, i < n / 2 ? i : n - i,
                          static_cast<int32_t>(random() % 5)};
    Store(row + kK1.data, k1[static_cast<int>(pattern)]);
    const int64_t k2 = static_cast<int64_t>(random() % 7) - 3;
    std::memcpy(row + kK2.data, &k2, 8);
    const uint32_t length = random() % 17;
    Store(row + kBytes.length, length);
    for (uint32_t b = 0; b < length; ++b) row[kBytes.data + b] = 'a' + random() % 3;
    Store(row + kId.data, i);
    const bool isNull = nullEvery > 0 && i % nullEvery == 0;
    for (const ColumnPlace* p : {&kK1, &kK2, &kBytes}) {
      if (!isNull || (p == &kK2 && i / nullEvery % 2)) continue;
      Store(row + p->status, DBSTATUS_S_ISNULL);
      std::memset(row + p->data, 0x5A, p->size);  // Must never be copied.
    }
    for (uint32_t b = kBaseWidth; b < rows.width; ++b) row[b] = static_cast<uint8_t>(i + b);
  }
  return rows;
}

Rows Slice(const Rows& rows, size_t begin, size_t end) {
  return {rows.width, std::vector<uint8_t>(rows.Row(begin), rows.Row(end))};
}

HRESULT CollectingSink::PutRow(const uint8_t* row) {
  if (data.size() / width_ == failAtRow) return failResult;
  data.insert(data.end(), row, row + width_);
  return S_OK;
}

void Configure(SortEngine* engine, const SortSetup& setup) {
  engine->EliminateDuplicates = setup.eliminateDuplicates;
  engine->ThreadCount = setup.threads;
  // As pre-execution does: file numbers and areas set aside are kept.
  engine->ScratchAreaList.Areas.clear();
  engine->ScratchAreaList.NextArea = 0;
  if (!setup.scratchArea.empty()) {
    EXPECT_EQ(S_OK, ParseScratchAreas(&engine->ScratchAreaList, setup.scratchArea.c_str()));
  }
  engine->RamBudget = setup.ramBudget;
  engine->ScratchFileBytes = setup.scratchFileBytes;
  engine->SortKeys = KeysFor(setup);
}

HRESULT AddAll(SortEngine* engine, const Rows& rows, bool end) {
  return engine->AddRows(static_cast<uint32_t>(rows.Count()), rows.width, rows.data.data(), end);
}

HRESULT Feed(SortEngine* engine, const Rows& rows, const SortSetup& setup, bool end) {
  const size_t batch = std::max<size_t>(setup.batchRows, 1);
  HRESULT hr = S_OK;
  for (size_t start = 0; start < rows.Count() && SUCCEEDED(hr); start += batch) {
    const size_t count = std::min(batch, rows.Count() - start);
    const bool last = end && setup.endWithRows && start + count == rows.Count();
    hr = engine->AddRows(static_cast<uint32_t>(count), rows.width, rows.Row(start), last);
    if (last) return hr;
  }
  return FAILED(hr) || !end ? hr : engine->AddRows(0, rows.width, nullptr, true);
}

SortOutcome RunSort(SortEngine* engine, const Rows& rows, const SortSetup& setup,
                    const std::function<HRESULT(SortEngine*)>& feed, uint64_t failAtRow,
                    HRESULT failResult) {
  SortOutcome outcome;
  Configure(engine, setup);
  EXPECT_EQ(S_OK, engine->Create());
  CollectingSink output(rows.width);
  output.failAtRow = failAtRow, output.failResult = failResult;
  engine->Output = &output;
  outcome.result = feed ? feed(engine) : Feed(engine, rows, setup);
  engine->Destroy();
  outcome.output = std::move(output.data);
  for (size_t at = 0; at < outcome.output.size(); at += rows.width) {
    outcome.ids.push_back(static_cast<int32_t>(Load(&outcome.output[at] + kId.data)));
  }
  outcome.opens = output.opens, outcome.closes = output.closes;
  return outcome;
}

void ExpectOrdered(const uint8_t* input, size_t count, const std::vector<uint8_t>& output,
                   uint32_t width, uint32_t idOffset, const RowOrderFn& order, bool strict) {
  std::vector<bool> seen(count);
  for (size_t at = 0; at < output.size(); at += width) {
    const uint32_t id = Load(&output[at] + idOffset);
    ASSERT_LT(id, count);
    ASSERT_FALSE(seen[id]) << "row " << id << " twice";
    seen[id] = true;
    ASSERT_EQ(0, std::memcmp(input + size_t{id} * width, &output[at], width)) << "row " << id;
    if (at == 0) continue;
    const int o = order(&output[at - width], &output[at]);
    ASSERT_TRUE(strict ? o < 0 : o <= 0) << "output row " << at / width;
  }
  std::vector<const uint8_t*> sorted;
  for (size_t i = 0; i < count; ++i) sorted.push_back(input + i * width);
  auto less = [&](const uint8_t* a, const uint8_t* b) { return order(a, b) < 0; };
  std::sort(sorted.begin(), sorted.end(), less);
  const auto equal = [&](const uint8_t* a, const uint8_t* b) { return !less(a, b); };
  EXPECT_EQ(strict ? std::unique(sorted.begin(), sorted.end(), equal) - sorted.begin() : count,
            output.size() / width);
}

void ExpectSorted(const Rows& input, const SortSetup& setup, const SortOutcome& outcome,
                  HRESULT result) {
  ASSERT_EQ(result, outcome.result);
  EXPECT_EQ(1, outcome.opens);
  EXPECT_EQ(1, outcome.closes);
  const std::vector<SortColumn> keys = KeysFor(setup);
  ExpectOrdered(
      input.data.data(), input.Count(), outcome.output, input.width, kId.data,
      [&](const uint8_t* a, const uint8_t* b) { return CompareRows(a, b, keys); },
      setup.eliminateDuplicates);
}

}  // namespace enginetest
