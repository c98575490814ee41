// The registry entries, written as code rather than as a script:
//
//   AppID\{AppID}                          @="Tolvarine"
//   AppID\Tolvarine.DLL                    AppID="{AppID}"
//   Tolvarine.Tolvarine.1                  @="Tolvarine"
//   Tolvarine.Tolvarine.1\CLSID            @="{CLSID}"
//   Tolvarine.Tolvarine                    @="Tolvarine"
//   Tolvarine.Tolvarine\CLSID              @="{CLSID}"
//   Tolvarine.Tolvarine\CurVer             @="Tolvarine.Tolvarine.1"
//   CLSID\{CLSID}                          @="Tolvarine", AppID="{AppID}"
//     ProgID, VersionIndependentProgID, InprocServer32 (+ ThreadingModel "Free"),
//     TypeLib, DTSInfo (ComponentType, CurrentVersion, UITypeName),
//     DTSInfo\EN-US (Description), Implemented Categories\{pipeline transforms}
//
// and the type library's registration as the platform's type library
// registration writes it for a library holding one creatable class and one
// custom interface:
//
//   TypeLib\{LibID}\1.0                    @="Tolvarine 1.0 Type Library"
//   TypeLib\{LibID}\1.0\0\<platform>       @=module path
//   TypeLib\{LibID}\1.0\FLAGS              @="0"
//   TypeLib\{LibID}\1.0\HELPDIR            @=module directory
//
// where <platform> is win64 for the 64-bit Windows build and win32 for every
// other build, so that the 32-bit and 64-bit libraries can be registered
// side by side; the version key goes with the last platform registered.
//
// ITolvarine is neither dual nor automation-compatible, so it gets no
// Interface\{IID} key: the type library cannot marshal it, and as an
// in-process, free-threaded interface it never needs marshalling.
#include "server/registration.h"

#include "interfaces/component_interfaces.h"
#include "platform/com.h"
#include "platform/library.h"
#include "platform/module_path.h"
#include "platform/registry.h"
#include "platform/thread_locale.h"
#include "server/module.h"

namespace {

constexpr char16_t kProgID[] = u"Tolvarine.Tolvarine.1";
constexpr char16_t kVersionIndependentProgID[] = u"Tolvarine.Tolvarine";
constexpr char16_t kClassName[] = u"Tolvarine";
constexpr char16_t kAppIDName[] = u"Tolvarine.DLL";
constexpr char16_t kTypeLibraryName[] = u"Tolvarine 1.0 Type Library";
// The pipeline host's category of data-flow components.
constexpr char16_t kPipelineComponentCategory[] = u"{97A2F007-B37A-4B33-87C7-874F46F2D690}";
// The host's own sort designer serves as the component's editor.
constexpr char16_t kEditorTypeName[] =
    u"Microsoft.DataTransformationServices.Design.DtsSortComponentUI, "
    u"Microsoft.DatatransformationServices.DataFlowUI, Version=9.0.242.0, Culture=neutral, "
    u"PublicKeyToken=89845dcd8080cc91";
constexpr char16_t kDescription[] = u"Sorting component optimized for larger-than-memory data sets";

// Creates the key and sets its default value.
bool SetKey(plat::RegistryKeys* tree, const std::u16string& path, std::u16string_view text) {
  return tree->CreateKey(path) && tree->SetString(path, u"", text);
}

// Deletes a key with its subtree; one that is not there is no error.
bool RemoveKey(plat::RegistryKeys* tree, const std::u16string& path) {
  return tree->DeleteTree(path) || plat::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool WriteAppID(plat::RegistryKeys* tree, const std::u16string& appID) {
  return tree->CreateKey(u"AppID") && SetKey(tree, u"AppID\\" + appID, kClassName) &&
         tree->CreateKey(u"AppID\\" + std::u16string(kAppIDName)) &&
         tree->SetString(u"AppID\\" + std::u16string(kAppIDName), u"AppID", appID);
}

bool WriteClass(plat::RegistryKeys* tree, const std::u16string& modulePath,
                const std::u16string& appID) {
  const std::u16string clsid = plat::GuidToString(CLSID_Tolvarine);
  const std::u16string progID = kProgID;
  const std::u16string independentProgID = kVersionIndependentProgID;
  if (!SetKey(tree, progID, kClassName) || !SetKey(tree, progID + u"\\CLSID", clsid) ||
      !SetKey(tree, independentProgID, kClassName) ||
      !SetKey(tree, independentProgID + u"\\CLSID", clsid) ||
      !SetKey(tree, independentProgID + u"\\CurVer", progID)) {
    return false;
  }
  // The class key is rebuilt, so that nothing of an earlier registration
  // survives under it.
  const std::u16string key = u"CLSID\\" + clsid;
  if (!tree->CreateKey(u"CLSID") || !RemoveKey(tree, key)) return false;
  const std::u16string dtsInfo = key + u"\\DTSInfo";
  return SetKey(tree, key, kClassName) && tree->SetString(key, u"AppID", appID) &&
         SetKey(tree, key + u"\\ProgID", progID) &&
         SetKey(tree, key + u"\\VersionIndependentProgID", independentProgID) &&
         SetKey(tree, key + u"\\InprocServer32", modulePath) &&
         tree->SetString(key + u"\\InprocServer32", u"ThreadingModel", u"Free") &&
         SetKey(tree, key + u"\\TypeLib", plat::GuidToString(LIBID_TolvarineLib)) &&
         tree->CreateKey(dtsInfo) && tree->SetDword(dtsInfo, u"ComponentType", 0) &&
         tree->SetDword(dtsInfo, u"CurrentVersion", 0) &&
         tree->SetString(dtsInfo, u"UITypeName", kEditorTypeName) &&
         tree->CreateKey(dtsInfo + u"\\EN-US") &&
         tree->SetString(dtsInfo + u"\\EN-US", u"Description", kDescription) &&
         SetKey(tree, key + u"\\Implemented Categories\\" + kPipelineComponentCategory, u"");
}

bool WriteTypeLibrary(plat::RegistryKeys* tree, const std::u16string& modulePath) {
  const std::u16string version = u"TypeLib\\" + plat::GuidToString(LIBID_TolvarineLib) + u"\\1.0";
  return SetKey(tree, version, kTypeLibraryName) &&
         SetKey(tree, version + u"\\0\\" + plat::kTypeLibraryPlatform, modulePath) &&
         SetKey(tree, version + u"\\FLAGS", u"0") &&
         SetKey(tree, version + u"\\HELPDIR", plat::DirectoryOf(modulePath));
}

// Whether the key at `path` has no subkeys; a missing key has none.
bool HasNoSubkeys(plat::RegistryKeys* tree, const std::u16string& path, bool* none) {
  std::vector<std::u16string> subkeys;
  if (tree->EnumSubkeys(path, &subkeys)) {
    *none = subkeys.empty();
    return true;
  }
  *none = true;
  return plat::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Removes this build's platform key. The version key, with the FLAGS and
// HELPDIR that every platform's registration shares, goes when no platform
// is left under the one locale the library registers (0); the library's
// key goes when it holds nothing else.
bool RemoveTypeLibrary(plat::RegistryKeys* tree) {
  const std::u16string library = u"TypeLib\\" + plat::GuidToString(LIBID_TolvarineLib);
  const std::u16string version = library + u"\\1.0";
  bool none = false;
  if (!RemoveKey(tree, version + u"\\0\\" + plat::kTypeLibraryPlatform) ||
      !HasNoSubkeys(tree, version + u"\\0", &none) || (none && !RemoveKey(tree, version)) ||
      !HasNoSubkeys(tree, library, &none)) {
    return false;
  }
  std::vector<plat::RegistryValue> values;
  if (none && tree->EnumValues(library, &values) && values.empty()) {
    return RemoveKey(tree, library);
  }
  return true;
}

HRESULT Fail() {
  return plat::HResultFromLastError();
}

// An address inside this library, to find the library's file.
const char kModuleAnchor = 0;

}  // namespace

bool WriteRegistration(plat::RegistryKeys* tree, const std::u16string& modulePath) {
  const std::u16string appID = plat::GuidToString(TolvarineModule().AppID());
  return WriteAppID(tree, appID) && WriteClass(tree, modulePath, appID) &&
         WriteTypeLibrary(tree, modulePath);
}

bool RemoveRegistration(plat::RegistryKeys* tree) {
  const std::u16string appID = plat::GuidToString(TolvarineModule().AppID());
  return RemoveKey(tree, kProgID) && RemoveKey(tree, kVersionIndependentProgID) &&
         RemoveKey(tree, u"CLSID\\" + plat::GuidToString(CLSID_Tolvarine)) &&
         RemoveTypeLibrary(tree) && RemoveKey(tree, u"AppID\\" + appID) &&
         RemoveKey(tree, u"AppID\\" + std::u16string(kAppIDName));
}

// Registration runs under the system's default locale and gives the
// caller's thread locale back afterwards, so that what it writes does not
// depend on the locale of whichever thread the installer calls it on.
HRESULT RegisterServer() {
  plat::SystemLocaleScope locale;
  std::u16string modulePath;
  if (!plat::GetModuleFileName(&kModuleAnchor, &modulePath)) return Fail();
  plat::ClassesRootChange change;
  if (!change.Begin()) return Fail();
  if (WriteRegistration(&change.Keys(), modulePath) && change.Commit()) return S_OK;
  const HRESULT failure = Fail();
  // Where what was written stays written, take it all back, so that no
  // half registration is left; the first failure is what is reported.
  if (plat::ClassesRootChange::ChangesOutliveFailure()) RemoveRegistration(&change.Keys());
  return failure;
}

HRESULT UnregisterServer() {
  plat::SystemLocaleScope locale;
  plat::ClassesRootChange change;
  return change.Begin() && RemoveRegistration(&change.Keys()) && change.Commit() ? S_OK : Fail();
}
