#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_file.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace {

void expectFileWord(u64 word, u32 code) { expectOslWord(word, kFileFile, code); }

TEST(PathJoin, DirectoryNameAndSeparator) {
  char out[16];
  EXPECT_EQ(osl_path_join("d", "a.log", out, sizeof out), 0u);
  EXPECT_STREQ(out, "d\\a.log");
  EXPECT_EQ(osl_path_join("", "a.log", out, sizeof out), 0u);
  EXPECT_STREQ(out, "a.log");
  // Missing arguments give the bare number 25, no layer, file or line.
  EXPECT_EQ(osl_path_join(nullptr, "a", out, sizeof out), 25u);
  EXPECT_EQ(osl_path_join("d", nullptr, out, sizeof out), 25u);
  EXPECT_EQ(osl_path_join("d", "a", out, 0), 25u);
  // A joined path longer than out is refused, not cut.
  expectFileWord(osl_path_join("folder", "names.log", out, sizeof out), 6);
  EXPECT_STREQ(out, "");
}

TEST(FileTests, DirectoriesAndFiles) {
  ScratchFolder scratch;
  std::string file = scratch.write("a.txt", "x");
  std::string folder = scratch / "sub";
  EXPECT_EQ(osl_mkdir(folder.c_str()), 0u);
  EXPECT_EQ(osl_mkdir(folder.c_str()), 0u);  // an existing folder counts as made
  expectFileWord(osl_mkdir((scratch / "missing\\sub").c_str()), 16);

  EXPECT_EQ(osl_dir_exists(folder.c_str()), 0u);
  expectFileWord(osl_dir_exists(file.c_str()), 16);
  expectFileWord(osl_dir_exists((scratch / "none").c_str()), 16);
  EXPECT_EQ(osl_is_file(file.c_str()), 0u);
  expectFileWord(osl_is_file(folder.c_str()), 16);
  expectFileWord(osl_is_file((scratch / "none").c_str()), 16);
  EXPECT_EQ(osl_dir_writable(folder.c_str()), 0u);
  expectFileWord(osl_dir_writable((scratch / "none").c_str()), 1);
}

TEST(FileWrappers, OpenPrintFlushClose) {
  ScratchFolder scratch;
  std::string path = scratch / "out.txt";
  FILE* file = osl_fopen(path.c_str(), OSL_FILE_WRITE_BINARY);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(osl_fprintf(file, "%s=%u;", "a", 7u), 4);
  EXPECT_EQ(osl_fflush(file), 0u);
  EXPECT_EQ(scratch.read("out.txt"), "a=7;");
  EXPECT_EQ(osl_fclose(file), 0u);

  file = osl_fopen(path.c_str(), OSL_FILE_APPEND_BINARY);
  ASSERT_NE(file, nullptr);
  osl_fprintf(file, "b");
  EXPECT_EQ(osl_fclose(file), 0u);
  EXPECT_EQ(scratch.read("out.txt"), "a=7;b");

  EXPECT_EQ(osl_fprintf(nullptr, "x"), -1);
  expectFileWord(osl_fclose(nullptr), 18);
  expectFileWord(osl_fflush(nullptr), 18);
  EXPECT_EQ(osl_fopen(path.c_str(), 0), nullptr);
  EXPECT_EQ(osl_fopen(path.c_str(), 10), nullptr);
  EXPECT_EQ(osl_fopen((scratch / "none.txt").c_str(), OSL_FILE_READ), nullptr);
}

TEST(FileWrappers, OpenFilesDenyOtherWriters) {
  ScratchFolder scratch;
  std::string path = scratch / "log.txt";
  FILE* held = osl_fopen(path.c_str(), OSL_FILE_APPEND_TEXT);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(_fsopen(path.c_str(), "a", _SH_DENYNO), nullptr);
  EXPECT_EQ(osl_fopen(path.c_str(), OSL_FILE_APPEND_BINARY), nullptr);
  FILE* reader = _fsopen(path.c_str(), "r", _SH_DENYNO);
  EXPECT_NE(reader, nullptr);
  if (reader) fclose(reader);
  EXPECT_EQ(osl_fclose(held), 0u);

  FILE* writer = _fsopen(path.c_str(), "a", _SH_DENYNO);
  ASSERT_NE(writer, nullptr);  // free again once closed
  fclose(writer);
}

TEST(FileMapping, WholeFileReadOnly) {
  ScratchFolder scratch;
  std::string bytes("VDRVFWIM\0\x01\x02rest", 15);
  std::string path = scratch.write("image.bin", bytes);
  OslMappedFile map;
  ASSERT_EQ(osl_map_file(path.c_str(), &map), 0u);
  ASSERT_NE(map.view, nullptr);
  EXPECT_EQ(std::memcmp(map.view, bytes.data(), bytes.size()), 0);
  ASSERT_NE(map.fileCell, nullptr);
  EXPECT_NE(*map.fileCell, INVALID_HANDLE_VALUE);
  osl_unmap_file(&map);
  EXPECT_EQ(map.view, nullptr);
  EXPECT_EQ(map.mapping, INVALID_HANDLE_VALUE);
  EXPECT_EQ(map.fileCell, nullptr);
  osl_unmap_file(&map);  // a second release has nothing left to do
}

TEST(FileMapping, FailuresReleaseWhatWasTaken) {
  ScratchFolder scratch;
  OslMappedFile map;
  expectFileWord(osl_map_file((scratch / "none.bin").c_str(), &map), 16);
  EXPECT_EQ(map.fileCell, nullptr);
  EXPECT_EQ(map.view, nullptr);
  std::string empty = scratch.write("empty.bin", "");
  expectFileWord(osl_map_file(empty.c_str(), &map), 99);
  EXPECT_EQ(map.fileCell, nullptr);
  EXPECT_EQ(map.mapping, INVALID_HANDLE_VALUE);
}

TEST(FileTests, SizesNewFilesAndRemoval) {
  ScratchFolder scratch;
  std::string path = scratch / "new.bin";
  u32 error = 0;
  ASSERT_EQ(osl_create_new_file(path.c_str(), "abc", 3, &error), 0u);
  EXPECT_EQ(error, 0u);
  u64 size = 0;
  ASSERT_EQ(osl_file_size(path.c_str(), &size), 0u);
  EXPECT_EQ(size, 3u);
  expectFileWord(osl_create_new_file(path.c_str(), "x", 1, &error), 16);
  EXPECT_EQ(error, static_cast<u32>(ERROR_FILE_EXISTS));
  EXPECT_EQ(scratch.read("new.bin"), "abc");
  expectFileWord(osl_create_new_file(path.c_str(), nullptr, 1, &error), 16);
  EXPECT_EQ(osl_remove_file(path.c_str()), 0u);
  EXPECT_FALSE(scratch.exists("new.bin"));
  expectFileWord(osl_remove_file(path.c_str()), 1);
  expectFileWord(osl_file_size(path.c_str(), &size), 1);
  EXPECT_EQ(size, 3u);
  expectFileWord(osl_open_error_status(), 16);
  EXPECT_NE(osl_stat_error_status(), osl_remove_error_status());  // lines differ
}

}  // namespace
