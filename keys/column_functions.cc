#include "keys/column_functions.h"

#include "interfaces/pipeline_types.h"
#include "keys/value_functions.h"

namespace keys {
namespace {

struct ColumnFunctions {
  ColumnComparator compare;
  ColumnCopier copy;
};

// The string comparator is chosen once per key from its flags: the two
// ordinal modes are selected by the whole flags value, never by single bits.
ColumnFunctions StringFunctions(uint32_t flags) {
  switch (flags) {
    case CMPFLAG_ORDINAL:
      return {CompareStringsOrdinal, CopyString};
    case CMPFLAG_ORDINAL_IGNORECASE:
      return {CompareStringsIgnoreCase, CopyString};
    default:
      return {CompareStringsCollated, CopyString};
  }
}

ColumnFunctions WideStringFunctions(uint32_t flags) {
  switch (flags) {
    case CMPFLAG_ORDINAL:
      return {CompareWideStringsOrdinal, CopyWideString};
    case CMPFLAG_ORDINAL_IGNORECASE:
      return {CompareWideStringsIgnoreCase, CopyWideString};
    default:
      return {CompareWideStringsCollated, CopyWideString};
  }
}

// False when the type is not supported.
bool FunctionsForType(int32_t dataType, uint32_t flags, ColumnFunctions* functions) {
  switch (dataType) {
    case DT_I1:
      *functions = {CompareIntegers<int8_t>, CopyFixed<1>};
      return true;
    case DT_UI1:
      *functions = {CompareIntegers<uint8_t>, CopyFixed<1>};
      return true;
    case DT_I2:
      *functions = {CompareIntegers<int16_t>, CopyFixed<2>};
      return true;
    case DT_UI2:
      *functions = {CompareIntegers<uint16_t>, CopyFixed<2>};
      return true;
    case DT_I4:
      *functions = {CompareIntegers<int32_t>, CopyFixed<4>};
      return true;
    case DT_UI4:
      *functions = {CompareIntegers<uint32_t>, CopyFixed<4>};
      return true;
    case DT_I8:
    case DT_CY:
      *functions = {CompareIntegers<int64_t>, CopyFixed<8>};
      return true;
    case DT_UI8:
    case DT_FILETIME:
      *functions = {CompareIntegers<uint64_t>, CopyFixed<8>};
      return true;
    case DT_R4:
      *functions = {CompareFloats<float>, CopyFixed<4>};
      return true;
    case DT_R8:
      *functions = {CompareFloats<double>, CopyFixed<8>};
      return true;
    case DT_DATE:
      *functions = {CompareDates, CopyFixed<8>};
      return true;
    case DT_BOOL:
      *functions = {CompareBooleans, CopyFixed<2>};
      return true;
    case DT_DECIMAL:
      *functions = {CompareDecimals, CopyFixed<16>};
      return true;
    case DT_GUID:
      *functions = {CompareGuids, CopyFixed<16>};
      return true;
    case DT_NUMERIC:
      *functions = {CompareNumerics, CopyFixed<19>};
      return true;
    case DT_DBDATE:
      *functions = {CompareDbDates, CopyFixed<6>};
      return true;
    case DT_DBTIME:
      *functions = {CompareDbTimes, CopyFixed<6>};
      return true;
    case DT_DBTIMESTAMP:
      *functions = {CompareDbTimestamps, CopyFixed<16>};
      return true;
    case DT_STR:
      *functions = StringFunctions(flags);
      return true;
    case DT_WSTR:
      *functions = WideStringFunctions(flags);
      return true;
    case DT_BYTES:
      // Compared and copied by the row comparison and the row writer, which
      // know the value's length field.
      *functions = {nullptr, nullptr};
      return true;
    default:
      return false;
  }
}

}  // namespace
}  // namespace keys

HRESULT SelectColumnFunctions(int32_t dataType, uint32_t flags, ColumnComparator* compare,
                              ColumnCopier* copy) {
  keys::ColumnFunctions functions;
  if (!keys::FunctionsForType(dataType, flags, &functions)) return E_NOTIMPL;
  *compare = functions.compare;
  *copy = functions.copy;
  return S_OK;
}
