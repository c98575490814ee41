#include "platform/decimal.h"

namespace plat {
namespace {

// An unsigned magnitude of up to 192 bits, least significant word first.
// A 96-bit magnitude times 10^28 (< 2^94) needs at most 190.
struct Magnitude {
  uint64_t words[3];

  bool IsZero() const { return (words[0] | words[1] | words[2]) == 0; }

  void MultiplyBy(uint64_t factor) {
    unsigned __int128 carry = 0;
    for (uint64_t& word : words) {
      const unsigned __int128 product = static_cast<unsigned __int128>(word) * factor + carry;
      word = static_cast<uint64_t>(product);
      carry = product >> 64;
    }
  }

  // Multiplies by 10^exponent, 0 <= exponent <= 28, in steps that fit a word.
  void ScaleUp(int exponent) {
    constexpr uint64_t kTenTo19 = 10000000000000000000ull;
    while (exponent >= 19) {
      MultiplyBy(kTenTo19);
      exponent -= 19;
    }
    uint64_t factor = 1;
    while (exponent-- > 0) factor *= 10;
    MultiplyBy(factor);
  }
};

int CompareMagnitudes(const Magnitude& left, const Magnitude& right) {
  for (int i = 2; i >= 0; --i) {
    if (left.words[i] != right.words[i]) return left.words[i] < right.words[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

HRESULT VarDecCmp(const DECIMAL* left, const DECIMAL* right) {
  if (left == nullptr || right == nullptr) return E_INVALIDARG;
  if (!IsWellFormedDecimal(*left) || !IsWellFormedDecimal(*right)) return E_INVALIDARG;

  Magnitude leftMagnitude{{left->Lo64, left->Hi32, 0}};
  Magnitude rightMagnitude{{right->Lo64, right->Hi32, 0}};
  const bool leftZero = leftMagnitude.IsZero();
  const bool rightZero = rightMagnitude.IsZero();
  if (leftZero && rightZero) return VARCMP_EQ;  // -0 == +0.

  // A zero takes the sign of nothing: the other value's sign decides.
  const bool leftNegative = !leftZero && left->sign == DECIMAL_NEG;
  const bool rightNegative = !rightZero && right->sign == DECIMAL_NEG;
  if (leftNegative != rightNegative) return leftNegative ? VARCMP_LT : VARCMP_GT;

  // Same sign: bring both to the larger scale, then compare magnitudes.
  if (left->scale < right->scale) leftMagnitude.ScaleUp(right->scale - left->scale);
  if (right->scale < left->scale) rightMagnitude.ScaleUp(left->scale - right->scale);
  int order = CompareMagnitudes(leftMagnitude, rightMagnitude);
  if (leftNegative) order = -order;
  return order < 0 ? VARCMP_LT : order == 0 ? VARCMP_EQ : VARCMP_GT;
}

}  // namespace plat
