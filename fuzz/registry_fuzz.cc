// The registry file loader. Text that loads must write a text that loads to
// the same tree; text that does not load must leave the tree as it was.
#include "fuzz/fuzz_support.h"
#include "platform/registry.h"

namespace {
constexpr DWORD kBadDb = 1009;  // ERROR_BADDB
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::RegistryTree tree;
  fuzz::Require(tree.CreateKey(u"CLSID\\Before") && tree.SetDword(u"CLSID", u"Kept", 7),
                "the starting tree is made");
  const std::string before = tree.ToText();
  if (!tree.Parse(fuzz::AsText(data, size))) {
    fuzz::Require(plat::GetLastError() == kBadDb, "text that does not load is ERROR_BADDB");
    fuzz::Require(tree.ToText() == before, "text that does not load changes nothing");
    return 0;
  }
  const std::string text = tree.ToText();
  plat::RegistryTree again;
  fuzz::Require(again.Parse(text), "a written registry loads");
  fuzz::Require(again.ToText() == text, "a written registry loads to the same tree");
  return 0;
}
