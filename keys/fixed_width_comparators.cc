#include <cmath>

#include "interfaces/pipeline_types.h"
#include "keys/value_functions.h"
#include "platform/decimal.h"

namespace keys {
namespace {

bool IsWellFormed(const DECIMAL& value) {
  return value.scale <= 28 && (value.sign == 0 || value.sign == DECIMAL_NEG);
}

int32_t Sign(int value) {
  return value < 0 ? -1 : value > 0 ? 1 : 0;
}

}  // namespace

int32_t CompareBooleans(const void* left, const void* right, uint32_t) {
  return ThreeWay(Load<uint16_t>(left) != 0, Load<uint16_t>(right) != 0);
}

// The day (the integer part, toward zero) decides, then the time of day
// (the fraction's magnitude). Both parts are exact, so distinct instants
// never compare equal. Infinities have no time of day and equal their kind.
int32_t CompareDates(const void* left, const void* right, uint32_t) {
  const auto l = Load<double>(left);
  const auto r = Load<double>(right);
  if (std::isnan(l) || std::isnan(r)) return CompareFloatValues(l, r);
  const double leftDay = std::trunc(l);
  const double rightDay = std::trunc(r);
  if (leftDay != rightDay) return ThreeWay(leftDay, rightDay);
  if (std::isinf(l)) return 0;
  return ThreeWay(std::fabs(l - leftDay), std::fabs(r - rightDay));
}

int32_t CompareDecimals(const void* left, const void* right, uint32_t) {
  const auto l = Load<DECIMAL>(left);
  const auto r = Load<DECIMAL>(right);
  const bool leftValid = IsWellFormed(l);
  const bool rightValid = IsWellFormed(r);
  if (leftValid != rightValid) return leftValid ? -1 : 1;
  if (!leftValid) return Sign(std::memcmp(left, right, sizeof(DECIMAL)));
  switch (plat::VarDecCmp(&l, &r)) {
    case VARCMP_LT:
      return -1;
    case VARCMP_GT:
      return 1;
    default:
      return 0;
  }
}

int32_t CompareNumerics(const void* left, const void* right, uint32_t) {
  const auto l = Load<DB_NUMERIC>(left);
  const auto r = Load<DB_NUMERIC>(right);
  if (l.sign != r.sign) return l.sign < r.sign ? -1 : 1;
  if (l.scale != r.scale) return l.scale > r.scale ? -1 : 1;
  for (int i = 15; i >= 0; --i) {
    if (l.val[i] != r.val[i]) {
      const int32_t magnitudeOrder = l.val[i] > r.val[i] ? 1 : -1;
      return l.sign != 0 ? magnitudeOrder : -magnitudeOrder;
    }
  }
  return 0;
}

int32_t CompareGuids(const void* left, const void* right, uint32_t) {
  return Sign(std::memcmp(left, right, 16));
}

int32_t CompareDbDates(const void* left, const void* right, uint32_t) {
  const auto l = Load<DBDATE>(left);
  const auto r = Load<DBDATE>(right);
  if (l.year != r.year) return ThreeWay(l.year, r.year);
  if (l.month != r.month) return ThreeWay(l.month, r.month);
  return ThreeWay(l.day, r.day);
}

int32_t CompareDbTimes(const void* left, const void* right, uint32_t) {
  const auto l = Load<DBTIME>(left);
  const auto r = Load<DBTIME>(right);
  if (l.hour != r.hour) return ThreeWay(l.hour, r.hour);
  if (l.minute != r.minute) return ThreeWay(l.minute, r.minute);
  return ThreeWay(l.second, r.second);
}

int32_t CompareDbTimestamps(const void* left, const void* right, uint32_t) {
  const auto l = Load<DBTIMESTAMP>(left);
  const auto r = Load<DBTIMESTAMP>(right);
  if (l.year != r.year) return ThreeWay(l.year, r.year);
  if (l.month != r.month) return ThreeWay(l.month, r.month);
  if (l.day != r.day) return ThreeWay(l.day, r.day);
  if (l.hour != r.hour) return ThreeWay(l.hour, r.hour);
  if (l.minute != r.minute) return ThreeWay(l.minute, r.minute);
  if (l.second != r.second) return ThreeWay(l.second, r.second);
  return ThreeWay(l.fraction, r.fraction);
}

}  // namespace keys
