#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "unit/status_check.h"

namespace {

TEST(Numbers, WholeTextInEveryBaseOrARefusalThatTellsWhy) {
  struct Case {
    const char* text;
    u32 base;
    u64 value;  // with code 0
    u32 layer, code;
  } cases[] = {
      {"0x1F", 16, 31, 0, 0}, {"0x1F", 0, 31, 0, 0}, {"017", 0, 15, 0, 0}, {"101", 2, 5, 0, 0},
      {"  42", 10, 42, 0, 0}, {"18446744073709551615", 10, ~0ull, 0, 0},
      {"0x1F", 10, 0, 5, 35}, {"abc", 10, 0, 5, 35}, {"  ", 10, 0, 5, 35}, {"12 ", 10, 0, 5, 35},
      {"1", 1, 0, 5, 3}, {"1", 3, 0, 5, 3}, {"1", 7, 0, 5, 3}, {"1", 36, 0, 5, 3}, {"", 10, 0, 5, 21},
      {"18446744073709551616", 10, 0, 6, 34},  // the runtime's range error
  };
  for (const Case& c : cases) {
    u64 value = 7;
    u64 status = osl_strtou64(c.text, c.base, &value);
    if (c.code == 0) {
      EXPECT_EQ(status, 0u) << c.text;
      EXPECT_EQ(value, c.value) << c.text;
    } else {
      expectWord(status, c.layer, kClibFile, c.code);
      EXPECT_EQ(value, 7u) << "untouched by a refusal: " << c.text;
    }
  }
}

TEST(Numbers, NarrowConversionsCheckTheirRange) {
  u8 small = 0;
  u16 middle = 0;
  u32 wide = 0;
  EXPECT_EQ(osl_strtou8("255", &small), 0u);
  EXPECT_EQ(osl_strtou16("ffff", 16, &middle), 0u);
  EXPECT_EQ(osl_strtou32("4294967295", &wide), 0u);
  testing::internal::CaptureStdout();
  expectWord(osl_strtou8("256", &small), 6, kClibFile, 34);
  expectWord(osl_strtou16("10000", 16, &middle), 6, kClibFile, 34);
  expectWord(osl_strtou32("4294967296", &wide), 6, kClibFile, 34);
  // Failures of the wide conversion pass unchanged, without the range line.
  expectOslWord(osl_strtou8("0x10", &small), kClibFile, 35);
  expectOslWord(osl_strtou16("1", 7, &middle), kClibFile, 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "osl_strtou8: Number represented by String:256 is out of range \n"
            "osl_strtou16: Number represented by String:10000 is out of range \n");
  EXPECT_EQ(small, 255);
  EXPECT_EQ(middle, 0xFFFF);
  EXPECT_EQ(wide, 4294967295u);
}

TEST(Text, TrimFormatCopyAndCompare) {
  const std::pair<const char*, const char*> trims[] = {{"  ab c \t", "ab c"}, {"", ""}, {" \t\r\n", ""}, {"x", "x"},
                                                       {"a  b", "a  b"}, {"\tREV00001   ", "REV00001"}};
  for (const auto& trim : trims) {
    char text[32];
    std::strcpy(text, trim.first);
    EXPECT_EQ(osl_trim(text), 0u);
    EXPECT_STREQ(text, trim.second) << '"' << trim.first << '"';
  }
  expectOslWord(osl_trim(nullptr), kClibFile, 25);

  // Bounded formatting cuts and says so; the smaller of size and count rules.
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 7, "%d", 1234), 4);
  EXPECT_STREQ(buffer, "1234");
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 7, "%s", "12345678"), -1);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 3, "%s", "12345"), -1);
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(osl_snprintf(buffer, 4, 100, "%s", "12345"), -1);
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(osl_snprintf(buffer, 0, 5, "%s", "1"), -1);
  EXPECT_EQ(buffer[0], '1');  // nothing written with size 0

  std::strcpy(buffer, "ab");
  EXPECT_EQ(osl_strcat(buffer, sizeof buffer, "cdefghij"), buffer);
  EXPECT_STREQ(buffer, "abcdefg");
  std::strcpy(buffer, "ab");
  osl_strncat(buffer, sizeof buffer, "cdef", 2);
  EXPECT_STREQ(buffer, "abcd");
  osl_strncpy(buffer, "0123456789", 4);
  EXPECT_STREQ(buffer, "012");
  osl_strcpy(buffer, sizeof buffer, "0123456789");
  EXPECT_STREQ(buffer, "0123456");
  char formatted[OSL_FORMAT_SIZE];
  EXPECT_EQ(osl_format(formatted, "%s", std::string(2000, 'z').c_str()), 1023);
  EXPECT_EQ(std::strlen(formatted), 1023u);
  EXPECT_EQ(osl_format(formatted, "%d-%s", 5, "x"), 3);
  EXPECT_STREQ(formatted, "5-x");

  EXPECT_TRUE(osl_streq("PHYSICALDRIVE0", "PHYSICALDRIVE0"));
  EXPECT_FALSE(osl_streq("PHYSICALDRIVE0", "physicaldrive0"));
  EXPECT_TRUE(osl_strieq("/NoModel", "/nomodel"));
  EXPECT_FALSE(osl_strieq("/nomodelx", "/nomodel"));
  EXPECT_TRUE(osl_strnieq("/LOG=x", "/log=", 5));
  EXPECT_FALSE(osl_strnieq("/lo", "/log=", 5));
  EXPECT_EQ(osl_strlen("abc"), 3u);
  EXPECT_EQ(osl_strlen(nullptr), 0u);
}

TEST(Text, TimeTextAndRandomNumbers) {
  char text[OSL_TIME_TEXT_SIZE];
  ASSERT_EQ(osl_time_text(1700000000, text), 0u);
  ASSERT_EQ(std::strlen(text), 24u) << text;
  EXPECT_EQ(std::string(text + 20), "2023");
  EXPECT_EQ(std::string() + text[3] + text[13] + text[16], " ::");
  u64 first = 0;
  u64 second = 0;
  EXPECT_EQ(osl_random64(&first), 0u);
  EXPECT_EQ(osl_random64(&second), 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(first >> 32, 0u);  // fails once in four billion runs
}

}  // namespace
