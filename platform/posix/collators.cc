#include "platform/posix/collators.h"

#include <atomic>

#include "platform/com_types.h"
#include "platform/posix/mutex.h"
#include "platform/posix/system_locale.h"
#include "platform/string_compare.h"

namespace plat {
namespace {

struct CollatorSettings {
  UColAttributeValue strength;
  bool caseLevel;
  bool shifted;
  bool numeric;

  // Dense number of the setting: strength (3) x case level x shifted x numeric.
  int Slot() const {
    int level = strength == UCOL_PRIMARY ? 0 : strength == UCOL_SECONDARY ? 1 : 2;
    return level * 8 + (caseLevel ? 4 : 0) + (shifted ? 2 : 0) + (numeric ? 1 : 0);
  }
};
constexpr int kSlotCount = 24;

CollatorSettings SettingsForFlags(uint32_t flags) {
  const bool ignoreCase = flags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE);
  const bool ignoreDiacritics = flags & (NORM_IGNORENONSPACE | LINGUISTIC_IGNOREDIACRITIC);
  const bool ignoreWidthOrKana = flags & (NORM_IGNOREWIDTH | NORM_IGNOREKANATYPE);
  CollatorSettings settings{UCOL_TERTIARY, false, (flags & NORM_IGNORESYMBOLS) != 0,
                            (flags & SORT_DIGITSASNUMBERS) != 0};
  if (ignoreDiacritics) {
    settings.strength = UCOL_PRIMARY;
    settings.caseLevel = !ignoreCase;
  } else if (ignoreCase) {
    settings.strength = UCOL_SECONDARY;
  } else if (ignoreWidthOrKana) {
    settings.strength = UCOL_SECONDARY;
    settings.caseLevel = true;
  }
  return settings;
}

UCollator* OpenCollator(const CollatorSettings& settings) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(SystemCollationLocale().c_str(), &status);
  if (U_FAILURE(status)) collator = nullptr;
  if (collator != nullptr) {
    ucol_setAttribute(collator, UCOL_STRENGTH, settings.strength, &status);
    ucol_setAttribute(collator, UCOL_CASE_LEVEL, settings.caseLevel ? UCOL_ON : UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, settings.numeric ? UCOL_ON : UCOL_OFF,
                      &status);
    if (settings.shifted) {
      ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
      ucol_setMaxVariable(collator, UCOL_REORDER_CODE_SYMBOL, &status);
    }
  }
  if (U_FAILURE(status)) {
    if (collator != nullptr) ucol_close(collator);
    SetLastError(status == U_MEMORY_ALLOCATION_ERROR ? ERROR_NOT_ENOUGH_MEMORY
                                                     : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return collator;
}

// Collators live as long as this code is loaded: worker threads may compare
// strings at any time, and a collator is never changed once published. When
// the library that holds this code is unloaded (or the process ends), nothing
// can compare any more and the cache closes them.
struct CollatorCache {
  std::atomic<UCollator*> slots[kSlotCount] = {};
  ~CollatorCache() {
    for (auto& slot : slots) {
      if (UCollator* collator = slot.exchange(nullptr)) ucol_close(collator);
    }
  }
};
CollatorCache cache;
Mutex creationMutex;

}  // namespace

const UCollator* CollatorForFlags(uint32_t flags) {
  const CollatorSettings settings = SettingsForFlags(flags);
  std::atomic<UCollator*>& slot = cache.slots[settings.Slot()];
  if (UCollator* collator = slot.load(std::memory_order_acquire)) return collator;

  MutexLock lock(creationMutex);
  UCollator* collator = slot.load(std::memory_order_relaxed);
  if (collator == nullptr) {
    collator = OpenCollator(settings);
    slot.store(collator, std::memory_order_release);
  }
  return collator;
}

}  // namespace plat
