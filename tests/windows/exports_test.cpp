// The DLL exports exactly the 28 entry points, by undecorated name.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "viewer_dll.h"

namespace {

std::set<std::string> ExportedNames(HMODULE module) {
  std::set<std::string> names;
  auto* base = reinterpret_cast<const uint8_t*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0) return names;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
  }
  EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "exports without a name";
  return names;
}

TEST(ExportTable, HasExactlyTheTwentyEightEntryPoints) {
  const std::set<std::string> expected = {
#define VV_NAME(name) #name,
      VV_EXPORT_LIST(VV_NAME)
#undef VV_NAME
  };
  ASSERT_EQ(expected.size(), 28u);
  EXPECT_EQ(ExportedNames(Dll().module), expected);
  EXPECT_TRUE(Dll().missing.empty());
}

}  // namespace
