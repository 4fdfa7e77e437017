#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"

namespace {

u32 fileOf(u64 word) { return static_cast<u32>(word >> 48); }
u32 lineOf(u64 word) { return static_cast<u32>((word >> 32) & 0xFFFF); }

std::string statusMessage(u64 word) {
  char out[512];
  EXPECT_EQ(orv_get_status_msg(word, out, sizeof out), 0u);
  return out;
}

TEST(StatusBuilders, CodeZeroIsSuccessWhateverTheSite) {
  EXPECT_EQ(_orv_parser_status(0, "osl_log.cpp", 10), 0u);
  EXPECT_EQ(_orv_fend_status(0, "osl_log.cpp", 10), 0u);
  EXPECT_EQ(_orv_bend_status(0, "osl_log.cpp", 10), 0u);
  EXPECT_EQ(_orv_orvlib_status(0, "osl_log.cpp", 10), 0u);
  EXPECT_EQ(_orv_osl_status(0, "osl_log.cpp", 10), 0u);
  EXPECT_EQ(_orv_sys_status(0, nullptr, 10), 0u);
}

TEST(StatusBuilders, EachBuilderSetsItsLayer) {
  EXPECT_EQ(orv_status_layer_of(_orv_parser_status(3, "a", 1)), 1u);
  EXPECT_EQ(orv_status_layer_of(_orv_fend_status(3, "a", 1)), 2u);
  EXPECT_EQ(orv_status_layer_of(_orv_bend_status(3, "a", 1)), 3u);
  EXPECT_EQ(orv_status_layer_of(_orv_orvlib_status(3, "a", 1)), 4u);
  EXPECT_EQ(orv_status_layer_of(_orv_osl_status(3, "a", 1)), 5u);
  EXPECT_EQ(orv_status_layer_of(_orv_sys_status(3, "a", 1)), 6u);
}

TEST(StatusBuilders, WordCarriesFileLineLayerAndCode) {
  u64 word = _orv_orvlib_status(13, "x/cmdlib_devlist.cpp", 120);
  EXPECT_EQ(fileOf(word), 52u);
  EXPECT_EQ(lineOf(word), 120u);
  EXPECT_EQ(orv_status_layer_of(word), 4u);
  EXPECT_EQ(orv_status_code(word), 13u);
  EXPECT_EQ(word & 0x83FFFF00ull, 0u) << "bits 31 and 25..8 stay clear";
  EXPECT_EQ(statusMessage(word), "ORVERR13: Opening the device failed");
}

TEST(StatusBuilders, SeparatorsOfBothKindsFindTheBaseName) {
  EXPECT_EQ(fileOf(_orv_osl_status(1, "C:\\src\\osl\\osl_scsi.cpp", 1)), 10u);
  EXPECT_EQ(fileOf(_orv_osl_status(1, "src/osl//osl_nvme.cpp", 1)), 11u);
  EXPECT_EQ(fileOf(_orv_osl_status(1, "devlib\\ata/orvlib_sata.cpp", 1)), 132u);
  EXPECT_EQ(fileOf(_orv_osl_status(1, "osl_csmi", 1)), 12u);
  EXPECT_EQ(fileOf(_orv_osl_status(1, "src/not_in_table.cpp", 1)), 0u);
  EXPECT_EQ(fileOf(_orv_osl_status(1, nullptr, 1)), 0u);
}

TEST(StatusBuilders, OwnSourceFileNumberDoesNotDependOnTheCheckout) {
  // A long absolute path is reduced to its base name before the lookup.
  std::string deep = "/" + std::string(300, 'd') + "/osl/osl_util.cpp";
  EXPECT_STREQ(orv_source_base(deep.c_str()), "osl_util.cpp");
  EXPECT_EQ(fileOf(_orv_osl_status(1, orv_source_base(deep.c_str()), 7)), 6u);
}

TEST(StatusBuilders, CodeAbove255KeepsOnlyItsLowByteButStaysAFailure) {
  u64 word = _orv_orvlib_status(256, "osl_log.cpp", 5);
  EXPECT_NE(word, 0u);
  EXPECT_EQ(orv_status_code(word), 0u);
  EXPECT_EQ(orv_status_layer_of(word), 4u);
}

TEST(SplitPath, SplitsDirectoryAndFile) {
  char directory[64];
  char file[64];
  ASSERT_EQ(osl_split_path("C:\\a\\b\\\\name.ext", directory, 64, file, 64), 0u);
  EXPECT_STREQ(directory, "C:\\a\\b");
  EXPECT_STREQ(file, "name.ext");
  ASSERT_EQ(osl_split_path("plain.cpp", directory, 64, file, 64), 0u);
  EXPECT_STREQ(directory, "");
  EXPECT_STREQ(file, "plain.cpp");
}

TEST(SplitPath, RefusesBadArgumentsAndShortBuffers) {
  char directory[64];
  char file[64];
  u64 word = osl_split_path(nullptr, directory, 64, file, 64);
  EXPECT_EQ(orv_status_code(word), 25u);
  EXPECT_EQ(orv_status_layer_of(word), 5u);
  EXPECT_EQ(fileOf(word), 6u);
  EXPECT_EQ(orv_status_code(osl_split_path("a/b", directory, 0, file, 64)), 25u);
  std::string longDirectory = std::string(70, 'x') + "/f.cpp";
  EXPECT_EQ(orv_status_code(osl_split_path(longDirectory.c_str(), directory, 64, file, 64)), 6u);
  EXPECT_EQ(orv_status_code(osl_split_path("dir/abcdef.cpp", directory, 64, file, 10)), 6u);
}

TEST(StatusTables, SizesAndUnknownTables) {
  EXPECT_EQ(orvlib_strnum_map_size(orvlib_src_file_map), 73u);
  EXPECT_EQ(orvlib_strnum_map_size(orvlib_err_code_map), 199u);
  orvlib_strnum_map other[1] = {{1, "x"}};
  EXPECT_EQ(orvlib_strnum_map_size(other), 0u);
  char out[256];
  EXPECT_EQ(orvlib_get_str(other, 1, out, sizeof out), 11u);
  u16 number = 99;
  EXPECT_EQ(orvlib_get_num(other, "x", &number), 12u);
  EXPECT_EQ(number, 99u);
}

TEST(StatusTables, SourceFileFamilies) {
  u16 number = 0;
  ASSERT_EQ(orvlib_get_num(orvlib_src_file_map, "osl_alloc", &number), 0u);
  EXPECT_EQ(number, 1u);
  ASSERT_EQ(orvlib_get_num(orvlib_src_file_map, "cmdlib_modeparams", &number), 0u);
  EXPECT_EQ(number, 66u);
  ASSERT_EQ(orvlib_get_num(orvlib_src_file_map, "divizu_handlers", &number), 0u);
  EXPECT_EQ(number, 176u);
  ASSERT_EQ(orvlib_get_num(orvlib_src_file_map, "srv_session", &number), 0u);
  EXPECT_EQ(number, 247u);
  EXPECT_EQ(orvlib_get_num(orvlib_src_file_map, "OSL_ALLOC", &number), 12u) << "case-sensitive";
  char name[256];
  ASSERT_EQ(orvlib_get_str(orvlib_src_file_map, 221, name, sizeof name), 0u);
  EXPECT_STREQ(name, "cli_main");
  EXPECT_EQ(orvlib_get_str(orvlib_src_file_map, 13, name, sizeof name), 11u);
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
}

TEST(MessageCatalogue, KnownTexts) {
  char text[256];
  ASSERT_EQ(orvlib_get_msg_string("ORVERR198", text, 256), 0u);
  EXPECT_STREQ(text, "Invalid combination of parameters");
  ASSERT_EQ(orvlib_get_msg_string("ORVERR0", text, 256), 0u);
  EXPECT_STREQ(text, "Command completed successfully");
  ASSERT_EQ(orvlib_get_msg_string("ORVERR166", text, 256), 0u);
  EXPECT_STREQ(text, "Device operation is exclusively locked by other command");
  ASSERT_EQ(orvlib_get_msg_string("ORVERR58", text, 256), 0u);
  EXPECT_STREQ(text, "User doesn't have write permission on file/directory");
}

TEST(MessageCatalogue, WholeIdComparisonAndBufferSize) {
  char text[256];
  ASSERT_EQ(orvlib_get_msg_string("ORVERR1", text, 256), 0u);
  EXPECT_STREQ(text, "Command completed with an error");
  ASSERT_EQ(orvlib_get_msg_string("ORVERR10", text, 256), 0u);
  EXPECT_STREQ(text, "Invalid status type code");
  std::strcpy(text, "untouched");
  EXPECT_EQ(orvlib_get_msg_string("ORVERR198", text, 255), 1u);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(orvlib_get_msg_string("ORVERR", text, 256), 0u);
  EXPECT_STREQ(text, "untouched") << "an id not in the catalogue yields no text";
}

TEST(StatusDecoders, MessageIds) {
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
}

TEST(StatusDecoders, MessageTexts) {
  char text[256];
  ASSERT_EQ(orv_status_msgstr(0, text, sizeof text), 0u);
  EXPECT_STREQ(text, "Command completed successfully");
  ASSERT_EQ(orv_status_msgstr(_orv_fend_status(83, "x", 1), text, sizeof text), 0u);
  EXPECT_STREQ(text, "Feature unsupported");
  EXPECT_EQ(orv_status_msgstr(31ull << 26 | 1, text, sizeof text), 9u);
  EXPECT_EQ(orv_status_msgstr(_orv_orvlib_status(200, "x", 1), text, sizeof text), 11u);
  ASSERT_EQ(orv_status_msgstr(_orv_sys_status(5, "x", 1), text, sizeof text), 0u);
  EXPECT_NE(std::string(text).find("denied"), std::string::npos) << text;
}

TEST(StatusDecoders, WholeMessages) {
  EXPECT_EQ(statusMessage(0), ": Command completed successfully");
  EXPECT_EQ(statusMessage(_orv_orvlib_status(200, "x", 1)), "");
  EXPECT_EQ(statusMessage(7ull << 26 | 5), "");
  std::string system = statusMessage(_orv_sys_status(5, "x", 1));
  EXPECT_EQ(system.rfind("ORVSYS: ", 0), 0u) << system;
  EXPECT_EQ(orv_print_status(_orv_osl_status(3, "x", 1)), 0u);
}

}  // namespace
