// VORMEL.exe loaded the way a program that uses the library loads it: its status
// functions are found by name and its classes' members by their decorated
// names, and they answer from inside the executable.
#include <gtest/gtest.h>

#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "osl/orv_status.h"
#include "osl/osl_platform.h"

namespace {

// LoadLibrary maps an executable but, unlike a DLL, neither runs its start-up
// nor finishes loading it: relocate it (when it is not at the address it was
// linked for) and bind its imports here, as the loader does for a DLL. The
// library's exported functions need nothing of the start-up.
bool finishLoading(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD protection = 0;
  if (!VirtualProtect(base, nt->OptionalHeader.SizeOfImage, PAGE_EXECUTE_READWRITE, &protection))
    return false;
  const IMAGE_DATA_DIRECTORY* directory = nt->OptionalHeader.DataDirectory;

  ULONGLONG delta = reinterpret_cast<ULONGLONG>(base) - nt->OptionalHeader.ImageBase;
  const IMAGE_DATA_DIRECTORY& relocations = directory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  for (DWORD at = 0; delta != 0 && at < relocations.Size;) {
    auto* block = reinterpret_cast<IMAGE_BASE_RELOCATION*>(base + relocations.VirtualAddress + at);
    auto* entries = reinterpret_cast<const WORD*>(block + 1);
    for (size_t i = 0; i < (block->SizeOfBlock - sizeof *block) / sizeof *entries; ++i)
      if (entries[i] >> 12 == IMAGE_REL_BASED_DIR64)
        *reinterpret_cast<ULONGLONG*>(base + block->VirtualAddress + (entries[i] & 0xFFF)) += delta;
    at += block->SizeOfBlock;
  }
  nt->OptionalHeader.ImageBase = reinterpret_cast<ULONGLONG>(base);

  const IMAGE_DATA_DIRECTORY& imports = directory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    HMODULE from = LoadLibraryA(reinterpret_cast<const char*>(base + dll->Name));
    if (from == nullptr) return false;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
        base + (dll->OriginalFirstThunk != 0 ? dll->OriginalFirstThunk : dll->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      const char* name =
          IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
              ? MAKEINTRESOURCEA(IMAGE_ORDINAL(names->u1.Ordinal))
              : reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      FARPROC function = GetProcAddress(from, name);
      if (function == nullptr) return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(function);
    }
  }
  return true;
}

class Exports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module = LoadLibraryA(VORMEL_PATH);
    ASSERT_NE(module, nullptr) << VORMEL_PATH << ": error " << GetLastError();
    ASSERT_TRUE(finishLoading(module));
  }
  static void TearDownTestSuite() {
    if (module != nullptr) FreeLibrary(module);
  }
  template <typename Function>
  static Function find(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  static HMODULE module;
};
HMODULE Exports::module = nullptr;

using Builder = decltype(&_orv_orvlib_status);
using Decoder = decltype(&orv_get_status_msg);

TEST_F(Exports, StatusFunctionsByNameBuildAndDecodeWords) {
  struct Case {
    const char* builder;
    u16 code;
    const char* path;
    u32 line;
    u64 word;
    const char* text;
  } cases[] = {
      {"_orv_orvlib_status", 13, "x/cmdlib_devlist.cpp", 120, 0x003400781000000Dull,
       "ORVERR13: Opening the device failed"},
      {"_orv_osl_status", 16, "C:\\src\\osl\\osl_file.cpp", 33, 0x0005002114000010ull,
       "ORVERR16: File open failed"},
      {"_orv_parser_status", 0, "osl_file.cpp", 33, 0, ": Command completed successfully"},
  };
  auto decode = find<Decoder>("orv_get_status_msg");
  ASSERT_NE(decode, nullptr);
  for (const Case& c : cases) {
    auto build = find<Builder>(c.builder);
    ASSERT_NE(build, nullptr) << c.builder;
    u64 word = build(c.code, c.path, c.line);
    EXPECT_EQ(word, c.word) << c.builder << " " << c.code;
    char text[512] = "";
    EXPECT_EQ(decode(word, text, sizeof text), 0u);
    EXPECT_STREQ(text, c.text) << c.builder << " " << c.code;
  }
}

TEST_F(Exports, ClassMemberByDecoratedName) {
  using ActionText = decltype(&DivizuCmdlib::DivIzuGenCmd::postCmdActionStr);
  auto actionText = find<ActionText>(
      "_ZN12DivizuCmdlib12DivIzuGenCmd16postCmdActionStrB5cxx11EN12VazidaRaduru17_"
      "OrvPostCmdActionE");
  ASSERT_NE(actionText, nullptr);
  EXPECT_EQ(actionText(VazidaRaduru::ORV_POST_SYSTEM_REBOOT), "System Reboot");
}

}  // namespace
