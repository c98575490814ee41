// The list of scratch areas: the directories that scratch files go to, used
// round robin, one per new file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com_types.h"

struct ScratchAreaList {
  uint32_t NextFileNumber = 1;  // Number of the next scratch file name, shared by all areas.
  bool PrivilegeTried = false;  // The volume privilege step has run (a no-op here).
  std::vector<std::u16string> Areas;
  size_t NextArea = 0;  // Index into Areas; Areas.size() means "the end".
  // One flag per area: set when the area refused a scratch file in this
  // execution. TakeNextArea passes over the areas set aside while any other
  // is left. Sized by ResetSetAsideAreas; an area beyond it counts as usable.
  std::vector<bool> SetAside;
  size_t LastTaken = 0;  // The area TakeNextArea handed out last.
};

// Appends the areas of `text` (";"-separated; null or empty: the temporary
// directory) to `list->Areas` and moves NextArea to the end, so that the next
// scratch file goes to the first area. Empty pieces are skipped, and so is a
// piece that is exactly the root of a mounted file system other than a local,
// non-removable disk; every other piece is kept exactly as written.
// E_INVALIDARG when no piece of `text` is kept.
HRESULT ParseScratchAreas(ScratchAreaList* list, const char16_t* text);

// The area for the next scratch file: NextArea, wrapping to the first area
// at the end, or the first area after it that has not been set aside (while
// one is left). Leaves NextArea on that area and does not move it on: the
// writer does that once the file's name has been reserved.
// REQUIRES: Areas not empty.
const std::u16string& TakeNextArea(ScratchAreaList* list);

// Starts an execution with no area set aside. E_OUTOFMEMORY when the flags
// cannot be had.
HRESULT ResetSetAsideAreas(ScratchAreaList* list);
// Sets aside the area that TakeNextArea handed out last, for the rest of the
// execution. True while some area is still usable.
bool SetLastAreaAside(ScratchAreaList* list);
// True when some area has not been set aside (false with no area at all).
bool AnyAreaUsable(const ScratchAreaList& list);
