// The simulated machine's command line: the quoting of its main and the
// Windows splitting rules of CommandLineToArgvW.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "osl/osl_platform.h"
#include "winsim/program.h"
#include "winsim/text.h"

namespace {

std::vector<std::string> split(const std::u16string& line) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) result.push_back(winsim::narrow(arguments[i]));
  LocalFree(arguments);
  return result;
}

TEST(CommandLine, WindowsSplittingRules) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(split(u"\"C:\\Program Files\\VORMEL.exe\" /s"), (Args{"C:\\Program Files\\VORMEL.exe", "/s"}));
  EXPECT_EQ(split(u"VORMEL.exe  a\tb  "), (Args{"VORMEL.exe", "a", "b"}));
  EXPECT_EQ(split(u"x /log=\"C:\\a b\\c.log\""), (Args{"x", "/log=C:\\a b\\c.log"}));
  EXPECT_EQ(split(u"x \\\"q\\\""), (Args{"x", "\"q\""}));         // \" is a quote
  EXPECT_EQ(split(u"x a\\\\\"b c\""), (Args{"x", "a\\b c"}));      // \\" is \ and a quote mark
  EXPECT_EQ(split(u"x a\\\\\\\"b"), (Args{"x", "a\\\"b"}));        // \\\" is \ and a quote
  EXPECT_EQ(split(u"x C:\\dir\\ \"\""), (Args{"x", "C:\\dir\\", ""}));  // lone backslashes stay
  EXPECT_EQ(split(u"x \"a\"\"b\""), (Args{"x", "a\"b"}));
}

TEST(CommandLine, MainQuotesSoThatArgumentsComeBackWhole) {
  std::vector<std::string> arguments = {"/work/VORMEL", "/s", "/log=\"a b.log\"", "", "tail\\",
                                        "in \"quotes\\\" here", "C:\\dir with blank\\", "\xC3\xBC"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(&argument[0]);
  std::string tail = winsim::setCommandLine(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(split(GetCommandLineW()), arguments);
  EXPECT_EQ(tail.rfind("/s ", 0), 0u);
}

}  // namespace
