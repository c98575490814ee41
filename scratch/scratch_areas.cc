// The scratch area list. A piece of the property text is dropped only when it
// is exactly the root of a mounted file system that is not a local,
// non-removable disk (a USB stick's or a network share's mount point): scratch
// files there would be slow or would vanish with the medium. Every other piece
// is kept as written; whether it exists or can be written shows only when the
// first scratch file is made there.
#include "scratch/scratch_areas.h"

#include "platform/file_system.h"
#include "platform/no_throw.h"
#include "platform/thread.h"

namespace {

constexpr char16_t kSeparator = u';';

bool IsUsableArea(const std::u16string& piece) {
  const plat::DriveType type = plat::GetMountRootDriveType(piece);
  return type == plat::DriveType::kNoRootDir || type == plat::DriveType::kFixed;
}

}  // namespace

HRESULT ParseScratchAreas(ScratchAreaList* list, const char16_t* text) {
  return plat::NoThrow([&] {
    const size_t before = list->Areas.size();
    if (text == nullptr || *text == u'\0') {
      // The temporary directory is taken whole: it is the system's choice, so
      // it is never dropped, and a ";" in it is part of the name.
      std::u16string temp;
      if (!plat::GetTempPath(&temp)) return plat::HResultFromLastError();
      list->Areas.push_back(temp);
    } else {
      const std::u16string all(text);
      size_t start = 0;
      while (start <= all.size()) {
        size_t end = all.find(kSeparator, start);
        if (end == std::u16string::npos) end = all.size();
        std::u16string piece = all.substr(start, end - start);
        if (!piece.empty() && IsUsableArea(piece)) list->Areas.push_back(std::move(piece));
        start = end + 1;
      }
    }
    if (list->Areas.size() == before) return E_INVALIDARG;
    list->NextArea = list->Areas.size();
    return S_OK;
  });
}

namespace {

bool IsSetAside(const ScratchAreaList& list, size_t area) {
  return area < list.SetAside.size() && list.SetAside[area];
}

}  // namespace

const std::u16string& TakeNextArea(ScratchAreaList* list) {
  const size_t count = list->Areas.size();
  size_t area = list->NextArea < count ? list->NextArea : 0;
  for (size_t tried = 1; tried < count && IsSetAside(*list, area); ++tried) {
    area = (area + 1) % count;
  }
  list->NextArea = list->LastTaken = area;
  return list->Areas[area];
}

HRESULT ResetSetAsideAreas(ScratchAreaList* list) {
  return plat::NoThrow([&] {
    list->SetAside.assign(list->Areas.size(), false);
    return S_OK;
  });
}

bool SetLastAreaAside(ScratchAreaList* list) {
  if (list->LastTaken < list->SetAside.size()) list->SetAside[list->LastTaken] = true;
  return AnyAreaUsable(*list);
}

bool AnyAreaUsable(const ScratchAreaList& list) {
  for (size_t area = 0; area < list.Areas.size(); ++area) {
    if (!IsSetAside(list, area)) return true;
  }
  return false;
}
