// VarDecCmp is the system's own. Malformed values are refused here first:
// Windows answers E_INVALIDARG for them, Wine 8 compares a scale of 29 as if
// it were valid, and the component must treat such a value the same on both.
#include "platform/decimal.h"

namespace plat {
HRESULT VarDecCmp(const DECIMAL* left, const DECIMAL* right) {
  if (left == nullptr || right == nullptr) return E_INVALIDARG;
  if (!IsWellFormedDecimal(*left) || !IsWellFormedDecimal(*right)) return E_INVALIDARG;
  return ::VarDecCmp(const_cast<DECIMAL*>(left), const_cast<DECIMAL*>(right));
}

}  // namespace plat
