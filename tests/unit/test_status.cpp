#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"

namespace {

u32 fileOf(u64 word) { return static_cast<u32>(word >> 48); }

std::string statusMessage(u64 word) {
  char out[512];
  EXPECT_EQ(orv_get_status_msg(word, out, sizeof out), 0u);
  return out;
}

TEST(StatusBuilders, LayersFilesLinesAndCodes) {
  u64 (*const builders[])(u16, const char*, u32) = {_orv_parser_status, _orv_fend_status,  _orv_bend_status,
                                                    _orv_orvlib_status, _orv_osl_status, _orv_sys_status};
  for (u32 layer = 1; layer <= 6; ++layer) {
    EXPECT_EQ(builders[layer - 1](0, "osl_log.cpp", 10), 0u) << "code 0 is success whatever the site";
    EXPECT_EQ(orv_status_layer_of(builders[layer - 1](3, "a", 1)), layer);
  }
  u64 word = _orv_orvlib_status(13, "x/cmdlib_devlist.cpp", 120);
  EXPECT_EQ(word, 52ull << 48 | 120ull << 32 | 4u << 26 | 13u);
  EXPECT_EQ(statusMessage(word), "ORVERR13: Opening the device failed");
  // A code above 255 keeps only its low byte but stays a failure.
  EXPECT_EQ(_orv_orvlib_status(256, "osl_log.cpp", 5), 3ull << 48 | 5ull << 32 | 4u << 26);

  const std::pair<const char*, u32> paths[] = {
      {"C:\\src\\osl\\osl_scsi.cpp", 10}, {"src/osl//osl_nvme.cpp", 11}, {"devlib\\ata/orvlib_sata.cpp", 132},
      {"osl_csmi", 12},                    {"src/not_in_table.cpp", 0},   {nullptr, 0}};
  for (const auto& path : paths)
    EXPECT_EQ(fileOf(_orv_osl_status(1, path.first, 1)), path.second) << (path.first ? path.first : "null");
  // A long absolute path is reduced to its base name before the lookup.
  std::string deep = "/" + std::string(300, 'd') + "/osl/osl_util.cpp";
  EXPECT_STREQ(orv_source_base(deep.c_str()), "osl_util.cpp");
}

TEST(SplitPath, DirectoryAndFileOrRefusal) {
  char directory[64];
  char file[64];
  ASSERT_EQ(osl_split_path("C:\\a\\b\\\\name.ext", directory, 64, file, 64), 0u);
  EXPECT_EQ(std::string(directory) + "|" + file, "C:\\a\\b|name.ext");
  ASSERT_EQ(osl_split_path("plain.cpp", directory, 64, file, 64), 0u);
  EXPECT_EQ(std::string(directory) + "|" + file, "|plain.cpp");
  u64 word = osl_split_path(nullptr, directory, 64, file, 64);
  EXPECT_EQ(word & 0xFFFF0000FFFFFFFFull, 6ull << 48 | 5u << 26 | 25u);
  EXPECT_EQ(orv_status_code(osl_split_path("a/b", directory, 0, file, 64)), 25u);
  std::string longDirectory = std::string(70, 'x') + "/f.cpp";
  EXPECT_EQ(orv_status_code(osl_split_path(longDirectory.c_str(), directory, 64, file, 64)), 6u);
  EXPECT_EQ(orv_status_code(osl_split_path("dir/abcdef.cpp", directory, 64, file, 10)), 6u);
}

TEST(StatusTables, LookupsBothWays) {
  EXPECT_EQ(orvlib_strnum_map_size(orvlib_src_file_map), 73u);
  EXPECT_EQ(orvlib_strnum_map_size(orvlib_err_code_map), 199u);
  orvlib_strnum_map other[1] = {{1, "x"}};
  EXPECT_EQ(orvlib_strnum_map_size(other), 0u);
  char out[256];
  EXPECT_EQ(orvlib_get_str(other, 1, out, sizeof out), 11u);
  u16 number = 99;
  EXPECT_EQ(orvlib_get_num(other, "x", &number), 12u);
  EXPECT_EQ(orvlib_get_num(orvlib_src_file_map, "OSL_ALLOC", &number), 12u) << "case-sensitive";
  EXPECT_EQ(number, 99u);
  const std::pair<const char*, u16> files[] = {
      {"osl_alloc", 1}, {"cmdlib_modeparams", 66}, {"divizu_handlers", 176}, {"srv_session", 247}, {"cli_main", 221}};
  for (const auto& file : files) {
    ASSERT_EQ(orvlib_get_num(orvlib_src_file_map, file.first, &number), 0u) << file.first;
    EXPECT_EQ(number, file.second) << file.first;
    ASSERT_EQ(orvlib_get_str(orvlib_src_file_map, file.second, out, sizeof out), 0u);
    EXPECT_STREQ(out, file.first);
  }
  EXPECT_EQ(orvlib_get_str(orvlib_src_file_map, 13, out, sizeof out), 11u);
  // One file a number: the numbers rise strictly.
  for (u32 i = 1; i < orvlib_strnum_map_size(orvlib_src_file_map); ++i)
    EXPECT_LT(orvlib_src_file_map[i - 1].number, orvlib_src_file_map[i].number) << orvlib_src_file_map[i].name;
}

TEST(MessageCatalogue, EveryCodeResolvesToItsText) {
  char id[256];
  char text[256];
  for (u16 code = 0; code < 199; ++code) {
    ASSERT_EQ(orvlib_get_str(orvlib_err_code_map, code, id, sizeof id), 0u);
    EXPECT_EQ(std::string(id), "ORVERR" + std::to_string(code));
    text[0] = '\0';
    ASSERT_EQ(orvlib_get_msg_string(id, text, sizeof text), 0u);
    EXPECT_GT(std::strlen(text), 0u) << id;
    EXPECT_EQ(std::strchr(text, ':'), nullptr);
  }
  EXPECT_EQ(orvlib_get_str(orvlib_err_code_map, 199, id, sizeof id), 11u);
  // Whole ids compare: ORVERR1 is not the start of ORVERR10.
  const std::pair<const char*, const char*> known[] = {
      {"ORVERR198", "Invalid combination of parameters"},
      {"ORVERR0", "Command completed successfully"},
      {"ORVERR166", "Device operation is exclusively locked by other command"},
      {"ORVERR58", "User doesn't have write permission on file/directory"},
      {"ORVERR1", "Command completed with an error"},
      {"ORVERR10", "Invalid status type code"}};
  for (const auto& one : known) {
    ASSERT_EQ(orvlib_get_msg_string(one.first, text, 256), 0u);
    EXPECT_STREQ(text, one.second);
  }
  std::strcpy(text, "untouched");
  EXPECT_EQ(orvlib_get_msg_string("ORVERR198", text, 255), 1u);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(orvlib_get_msg_string("ORVERR", text, 256), 0u);
  EXPECT_STREQ(text, "untouched") << "an id not in the catalogue yields no text";
}

TEST(StatusDecoders, IdsTextsAndWholeMessages) {
  char id[256] = "untouched";
  EXPECT_EQ(orv_status_msgid(_orv_sys_status(5, "x", 1), id, sizeof id), 0u);
  EXPECT_STREQ(id, "ORVSYS");
  std::strcpy(id, "untouched");
  EXPECT_EQ(orv_status_msgid(7ull << 26 | 5, id, sizeof id), 9u);
  EXPECT_STREQ(id, "untouched");
  EXPECT_EQ(orv_status_msgid(0, id, sizeof id), 9u);
  EXPECT_EQ(orv_status_msgid(_orv_osl_status(200, "x", 1), id, sizeof id), 11u);
  EXPECT_EQ(orv_status_msgid(_orv_osl_status(83, "x", 1), id, sizeof id), 0u);
  EXPECT_STREQ(id, "ORVERR83");

  char text[256];
  ASSERT_EQ(orv_status_msgstr(0, text, sizeof text), 0u);
  EXPECT_STREQ(text, "Command completed successfully");
  ASSERT_EQ(orv_status_msgstr(_orv_fend_status(83, "x", 1), text, sizeof text), 0u);
  EXPECT_STREQ(text, "Feature unsupported");
  EXPECT_EQ(orv_status_msgstr(31ull << 26 | 1, text, sizeof text), 9u);
  EXPECT_EQ(orv_status_msgstr(_orv_orvlib_status(200, "x", 1), text, sizeof text), 11u);
  ASSERT_EQ(orv_status_msgstr(_orv_sys_status(5, "x", 1), text, sizeof text), 0u);
  EXPECT_NE(std::string(text).find("denied"), std::string::npos) << text;

  EXPECT_EQ(statusMessage(0), ": Command completed successfully");
  EXPECT_EQ(statusMessage(_orv_orvlib_status(200, "x", 1)), "");
  EXPECT_EQ(statusMessage(7ull << 26 | 5), "");
  EXPECT_EQ(statusMessage(_orv_sys_status(5, "x", 1)).rfind("ORVSYS: ", 0), 0u);
  EXPECT_EQ(orv_print_status(_orv_osl_status(3, "x", 1)), 0u);
}

}  // namespace
