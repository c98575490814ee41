#include "tools/text/value_codec.h"

#include "interfaces/pipeline_types.h"
#include "tools/text/value_codecs_by_type.h"

namespace tolvarine {

ValueCodec SelectValueCodec(int32_t dataType) {
  using namespace codecs;
  switch (dataType) {
    case DT_I1:
      return {ParseI1, FormatI1};
    case DT_I2:
      return {ParseI2, FormatI2};
    case DT_I4:
      return {ParseI4, FormatI4};
    case DT_I8:
      return {ParseI8, FormatI8};
    case DT_UI1:
      return {ParseUI1, FormatUI1};
    case DT_UI2:
      return {ParseUI2, FormatUI2};
    case DT_UI4:
      return {ParseUI4, FormatUI4};
    case DT_UI8:
      return {ParseUI8, FormatUI8};
    case DT_R4:
      return {ParseR4, FormatR4};
    case DT_R8:
      return {ParseR8, FormatR8};
    case DT_BOOL:
      return {ParseBool, FormatBool};
    case DT_CY:
      return {ParseCurrency, FormatCurrency};
    case DT_DECIMAL:
      return {ParseDecimal, FormatDecimal};
    case DT_NUMERIC:
      return {ParseNumeric, FormatNumeric};
    case DT_DBDATE:
      return {ParseDbDate, FormatDbDate};
    case DT_DBTIME:
      return {ParseDbTime, FormatDbTime};
    case DT_DBTIMESTAMP:
      return {ParseDbTimestamp, FormatDbTimestamp};
    case DT_FILETIME:
      return {ParseFileTime, FormatFileTime};
    case DT_DATE:
      return {ParseOleDate, FormatOleDate};
    case DT_STR:
      return {ParseStr, FormatStr};
    case DT_WSTR:
      return {ParseWStr, FormatWStr};
    case DT_BYTES:
      return {ParseBytes, FormatBytes};
    case DT_GUID:
      return {ParseGuid, FormatGuid};
    default:
      return {};
  }
}

}  // namespace tolvarine
