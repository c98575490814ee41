// CompareStringA/W over ICU collation in the system default locale.
//
// Without SORT_STRINGSORT, Windows uses a "word sort": the hyphen and the
// apostrophe weigh less than any other difference, so "coop" and "co-op" sort
// together. ICU cannot single out two characters without a tailoring of the
// locale's rules, so the word sort is approximated by comparing twice: first
// with every U+002D HYPHEN-MINUS and U+0027 APOSTROPHE removed; when that
// finds the strings equal, the one with fewer of those characters sorts first
// (as Windows puts "coop" before "co-op"), and with as many, a comparison with
// them in place decides. That is a lexicographic order over total orders,
// hence a total order itself. Under NORM_IGNORESYMBOLS both characters are
// ignored anyway and one pass suffices.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/com_types.h"
#include "platform/posix/collators.h"
#include "platform/string_compare.h"

namespace plat {
namespace {

constexpr DWORD ERROR_INVALID_FLAGS = 1004;

// UTF-16 text of one operand: on the stack for ordinary lengths, on the heap
// beyond that.
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  // Room for `units` code units; null (last error set) when it cannot be had.
  char16_t* Reserve(size_t units) {
    if (units <= kStackUnits) return stack_;
    heap_.reset(new (std::nothrow) char16_t[units]);
    if (!heap_) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return heap_.get();
  }

 private:
  static constexpr size_t kStackUnits = 512;
  char16_t stack_[kStackUnits];
  std::unique_ptr<char16_t[]> heap_;
};

bool IsWordSortMinor(char16_t unit) {
  return unit == u'-' || unit == u'\'';
}

bool UsesWordSort(uint32_t flags) {
  return (flags & (SORT_STRINGSORT | NORM_IGNORESYMBOLS)) == 0;
}

// Checks what every call checks and finds the collator; null (last error set)
// when the call must fail.
const UCollator* PrepareCall(uint32_t flags, const void* left, const void* right) {
  if (left == nullptr || right == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((flags & ~kCompareStringValidFlags) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return nullptr;
  }
  return CollatorForFlags(flags);
}

bool FitsCollator(size_t length) {
  if (length <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

int Collate(const UCollator* collator, const char16_t* left, size_t leftLength,
            const char16_t* right, size_t rightLength) {
  const UCollationResult order = ucol_strcoll(collator, left, static_cast<int32_t>(leftLength),
                                              right, static_cast<int32_t>(rightLength));
  return order == UCOL_LESS ? CSTR_LESS_THAN : order == UCOL_EQUAL ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

// Widens Windows-1252 text into `out`, leaving out the word-sort characters
// when `dropMinor`; returns the number of units written. *dropped counts
// those left out.
size_t Widen(const char* text, size_t length, bool dropMinor, char16_t* out, size_t* dropped) {
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    const char16_t unit = Cp1252ToUtf16(static_cast<unsigned char>(text[i]));
    if (dropMinor && IsWordSortMinor(unit)) {
      ++*dropped;
    } else {
      out[written++] = unit;
    }
  }
  return written;
}

size_t WithoutMinor(const char16_t* text, size_t length, char16_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    if (!IsWordSortMinor(text[i])) out[written++] = text[i];
  }
  return written;
}

size_t CountMinor(const char16_t* text, size_t length) {
  return static_cast<size_t>(std::count_if(text, text + length, IsWordSortMinor));
}

// The word-sort order of strings that are equal without their minor characters.
int CompareMinorCounts(size_t left, size_t right) {
  return left < right ? CSTR_LESS_THAN : left > right ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

// Row values may sit at odd addresses, so a string is measured unit by unit
// through memcpy and, when misaligned, copied before ICU reads it.
size_t Length16(const char16_t* text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t length = 0;; ++length) {
    char16_t unit;
    std::memcpy(&unit, bytes + 2 * length, 2);
    if (unit == 0) return length;
  }
}

// `text` itself when aligned, else a copy in `buffer`; null when no memory.
const char16_t* Aligned(const char16_t* text, size_t length, TextBuffer* buffer) {
  if (reinterpret_cast<uintptr_t>(text) % alignof(char16_t) == 0) return text;
  char16_t* copy = buffer->Reserve(length);
  if (copy != nullptr) std::memcpy(copy, text, 2 * length);
  return copy;
}

}  // namespace

int CompareStringW(uint32_t flags, const char16_t* left, const char16_t* right) {
  const UCollator* collator = PrepareCall(flags, left, right);
  if (collator == nullptr) return 0;
  const size_t leftLength = Length16(left);
  const size_t rightLength = Length16(right);
  if (!FitsCollator(leftLength) || !FitsCollator(rightLength)) return 0;
  TextBuffer leftCopy, rightCopy;
  left = Aligned(left, leftLength, &leftCopy);
  right = Aligned(right, rightLength, &rightCopy);
  if (left == nullptr || right == nullptr) return 0;

  const size_t leftMinor = UsesWordSort(flags) ? CountMinor(left, leftLength) : 0;
  const size_t rightMinor = UsesWordSort(flags) ? CountMinor(right, rightLength) : 0;
  if (leftMinor != 0 || rightMinor != 0) {
    TextBuffer leftBuffer, rightBuffer;
    char16_t* leftWord = leftBuffer.Reserve(leftLength);
    char16_t* rightWord = rightBuffer.Reserve(rightLength);
    if (leftWord == nullptr || rightWord == nullptr) return 0;
    const int wordOrder = Collate(collator, leftWord, WithoutMinor(left, leftLength, leftWord),
                                  rightWord, WithoutMinor(right, rightLength, rightWord));
    if (wordOrder != CSTR_EQUAL) return wordOrder;
    if (leftMinor != rightMinor) return CompareMinorCounts(leftMinor, rightMinor);
  }
  return Collate(collator, left, leftLength, right, rightLength);
}

int CompareStringA(uint32_t flags, const char* left, const char* right) {
  const UCollator* collator = PrepareCall(flags, left, right);
  if (collator == nullptr) return 0;
  const size_t leftLength = std::strlen(left);
  const size_t rightLength = std::strlen(right);
  if (!FitsCollator(leftLength) || !FitsCollator(rightLength)) return 0;

  TextBuffer leftBuffer, rightBuffer;
  char16_t* leftWide = leftBuffer.Reserve(leftLength);
  char16_t* rightWide = rightBuffer.Reserve(rightLength);
  if (leftWide == nullptr || rightWide == nullptr) return 0;

  size_t leftMinor = 0, rightMinor = 0;
  const bool wordSort = UsesWordSort(flags);
  size_t leftUnits = Widen(left, leftLength, wordSort, leftWide, &leftMinor);
  size_t rightUnits = Widen(right, rightLength, wordSort, rightWide, &rightMinor);
  const int order = Collate(collator, leftWide, leftUnits, rightWide, rightUnits);
  if ((leftMinor == 0 && rightMinor == 0) || order != CSTR_EQUAL) return order;
  if (leftMinor != rightMinor) return CompareMinorCounts(leftMinor, rightMinor);

  leftUnits = Widen(left, leftLength, false, leftWide, &leftMinor);
  rightUnits = Widen(right, rightLength, false, rightWide, &rightMinor);
  return Collate(collator, leftWide, leftUnits, rightWide, rightUnits);
}

}  // namespace plat
