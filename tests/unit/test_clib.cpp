#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "unit/status_check.h"

namespace {

void expectClibWord(u64 word, u32 code) { expectOslWord(word, kClibFile, code); }

// The runtime's range error, raised in osl_clib.
void expectOutOfRange(u64 word) { expectWord(word, 6, kClibFile, 34); }

TEST(Numbers, WholeTextInEveryBase) {
  u64 value = 0;
  EXPECT_EQ(osl_strtou64("0x1F", 16, &value), 0u);
  EXPECT_EQ(value, 31u);
  EXPECT_EQ(osl_strtou64("0x1F", 0, &value), 0u);
  EXPECT_EQ(value, 31u);
  EXPECT_EQ(osl_strtou64("017", 0, &value), 0u);
  EXPECT_EQ(value, 15u);
  EXPECT_EQ(osl_strtou64("101", 2, &value), 0u);
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(osl_strtou64("  42", 10, &value), 0u);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(osl_strtou64("18446744073709551615", 10, &value), 0u);
  EXPECT_EQ(value, ~0ull);
}

TEST(Numbers, RefusalsTellWhy) {
  u64 value = 7;
  expectClibWord(osl_strtou64("0x1F", 10, &value), 35);
  expectClibWord(osl_strtou64("abc", 10, &value), 35);
  expectClibWord(osl_strtou64("  ", 10, &value), 35);
  expectClibWord(osl_strtou64("12 ", 10, &value), 35);
  for (u32 base : {1u, 3u, 7u, 36u})
    expectClibWord(osl_strtou64("1", base, &value), 3);
  expectClibWord(osl_strtou64("", 10, &value), 21);
  expectOutOfRange(osl_strtou64("18446744073709551616", 10, &value));
  EXPECT_EQ(value, 7u);  // untouched by every refusal
}

TEST(Numbers, NarrowConversionsCheckTheirRange) {
  u8 small = 0;
  u16 middle = 0;
  u32 wide = 0;
  EXPECT_EQ(osl_strtou8("255", &small), 0u);
  EXPECT_EQ(small, 255);
  EXPECT_EQ(osl_strtou16("ffff", 16, &middle), 0u);
  EXPECT_EQ(middle, 0xFFFF);
  EXPECT_EQ(osl_strtou32("4294967295", &wide), 0u);
  EXPECT_EQ(wide, 4294967295u);

  testing::internal::CaptureStdout();
  expectOutOfRange(osl_strtou8("256", &small));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "osl_strtou8: Number represented by String:256 is out of range \n");
  testing::internal::CaptureStdout();
  expectOutOfRange(osl_strtou16("10000", 16, &middle));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "osl_strtou16: Number represented by String:10000 is out of range \n");
  testing::internal::CaptureStdout();
  expectOutOfRange(osl_strtou32("4294967296", &wide));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(small, 255);
  EXPECT_EQ(middle, 0xFFFF);
  EXPECT_EQ(wide, 4294967295u);

  // Failures of the wide conversion pass unchanged, without the range line.
  testing::internal::CaptureStdout();
  expectClibWord(osl_strtou8("0x10", &small), 35);
  expectClibWord(osl_strtou16("1", 7, &middle), 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Text, TrimRemovesWhiteSpaceAtBothEnds) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {{"  ab c \t", "ab c"}, {"", ""}, {" \t\r\n", ""}, {"x", "x"}, {"a  b", "a  b"},
               {"\tREV00001   ", "REV00001"}};
  for (const auto& c : cases) {
    char text[32];
    std::strcpy(text, c.in);
    EXPECT_EQ(osl_trim(text), 0u);
    EXPECT_STREQ(text, c.out) << '"' << c.in << '"';
  }
  expectClibWord(osl_trim(nullptr), 25);
}

TEST(Text, BoundedFormattingCutsAndSaysSo) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 7, "%d", 1234), 4);
  EXPECT_STREQ(buffer, "1234");
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 7, "%s", "12345678"), -1);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(osl_snprintf(buffer, sizeof buffer, 3, "%s", "12345"), -1);  // maxCount rules
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(osl_snprintf(buffer, 4, 100, "%s", "12345"), -1);  // size rules
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(osl_snprintf(buffer, 0, 5, "%s", "1"), -1);
  EXPECT_EQ(buffer[0], '1');  // nothing written with size 0
}

TEST(Text, StringHelpersStayInsideTheirBuffers) {
  char buffer[8] = "ab";
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
  std::string longText(2000, 'z');
  EXPECT_EQ(osl_format(formatted, "%s", longText.c_str()), 1023);
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

TEST(Text, TimeTextIsTheStandardTwentyFourCharacters) {
  char text[OSL_TIME_TEXT_SIZE];
  ASSERT_EQ(osl_time_text(1700000000, text), 0u);
  ASSERT_EQ(std::strlen(text), 24u) << text;
  EXPECT_NE(text[23], '\n');
  EXPECT_EQ(std::string(text + 20), "2023");
  EXPECT_EQ(text[3], ' ');
  EXPECT_EQ(text[13], ':');
  EXPECT_EQ(text[16], ':');
}

TEST(Random, TwoHalvesOfTheSecureSource) {
  u64 first = 0;
  u64 second = 0;
  EXPECT_EQ(osl_random64(&first), 0u);
  EXPECT_EQ(osl_random64(&second), 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(first >> 32, 0u);  // fails once in four billion runs
}

}  // namespace
