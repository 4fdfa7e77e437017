// The real VORMEL executable's start, options, log and window on simulated
// machines without drives.
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

const char kAdmin[] = R"({"windows": "10.0", "admin": true, "drives": []})";
const char kNotAdmin[] = R"({"windows": "10.0", "admin": false, "drives": []})";
const char kNoWindow[] = R"({"admin": true, "create_window_fails": true})";

// A run on a machine without drives: the package is verified and its
// licence printed, then no drive is found.
const char kNoDrive[] = "\r\n\r\nFailed : 'No devices found'\r\n\r\n";
const char kFailed[] = "\r\n>>> Command failed...\r\n### Return code: 1 ###\r\n";
const std::string kRunLines =
    written("[[[QEP Version : 01.03.3146]]]\r\n" + licenceText() + "\r\n" + kNoDrive + kFailed);
const std::string kWindowLines = std::string("[[[QEP Version : 01.03.3146]]]") + kNoDrive + kFailed;
// The licence is printed to the console, not to the window.
const std::string kLicenceOut = written("\r\n" + licenceText() + "\r\n");

TEST_F(Vormel, ShownRunNamesItsLogOnTheConsole) {
  Outcome result = run(kAdmin, {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(scratch_.read("run.log"), kRunLines);
  EXPECT_EQ(result.window, kWindowLines);
  EXPECT_EQ(result.out, kLicenceOut + "\nSee log file 'run.log' for details.\n");
  EXPECT_EQ(result.err, written(kNoDrive));
  EXPECT_EQ(result.ui, "dialog 103\nshow 103 10\nquit 0\ndestroy 103\n");
}

TEST_F(Vormel, SilentRunKeepsTheConsoleEmpty) {
  for (const char* silent : {"/s", "/S"}) {
    Outcome result = runAfterEarlierRuns(kAdmin, {silent, "/log=silent.log"});
    EXPECT_EQ(result.exitCode, 1) << silent;
    EXPECT_EQ(result.out, "") << silent;
    EXPECT_EQ(result.err, "") << silent;
    EXPECT_EQ(result.window, kWindowLines) << silent;  // the hidden window gets every line
    EXPECT_NE(result.ui.find("show 103 0\n"), std::string::npos) << result.ui;
    EXPECT_EQ(result.ui.find("messagebox"), std::string::npos);
  }
  EXPECT_EQ(scratch_.read("silent.log"), std::string(kRunLines) + kRunLines);  // appended
}

TEST_F(Vormel, DefaultLogFileName) {
  time_t before = std::time(nullptr);
  Outcome result = run(kAdmin, {"/unknown", "/nomodel", "extra"});
  time_t after = std::time(nullptr);
  EXPECT_EQ(result.exitCode, 1);
  std::vector<std::string> logs = logFiles();
  ASSERT_EQ(logs.size(), 1u);
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(logs[0], parts, std::regex(R"(VORMEL-(\d+)-(\d+)\.log)"))) << logs[0];
  long long seconds = std::stoll(parts[1]);
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  EXPECT_EQ(std::stoi(parts[2]), result.pid);
  EXPECT_EQ(scratch_.read(logs[0]), kRunLines);
  // The path is the current folder, "\" and the name.
  std::string folder = std::filesystem::canonical(scratch_.path()).string();
  EXPECT_EQ(result.out, kLicenceOut + "\nSee log file '" + folder + "\\" + logs[0] + "' for details.\n");
}

TEST_F(Vormel, NonAsciiAndLongLogPathsKeptWhole) {
  // Three characters of two and three bytes; a path longer than any
  // formatted line (cut, it would name the folder itself).
  std::string longPath;
  for (int i = 0; i < 520; ++i) longPath += "./";
  for (std::string path : {std::string("\xC3\xBC\xC3\xB1\xE2\x82\xAC-log.log"), longPath + "long.log"}) {
    Outcome result = run(kAdmin, {"/log=" + path});
    EXPECT_EQ(scratch_.read(path.substr(path.rfind('/') + 1)), kRunLines);
    EXPECT_EQ(result.out, kLicenceOut + "\nSee log file '" + path + "' for details.\n");
    EXPECT_EQ(result.events, "");
  }
}

TEST_F(Vormel, LogFolderMissing) {
  Outcome result = run(kAdmin, {"/log=missing\\run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(logFiles().empty());
  EXPECT_EQ(result.window, kWindowLines);  // the run goes on without a file
  EXPECT_EQ(result.out, kLicenceOut);        // no file to name
  EXPECT_EQ(result.events,
            "VEDIZO_DUREVERAZE|1|0xC0020001|File: missing\\run.log couldn't be opened (Error: [2])\n\n");
}

TEST_F(Vormel, NonAdministratorIsRefused) {
  Outcome result = run(kNotAdmin, {"/log=refused.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui,
            "messagebox \"Error\" \"You do not have sufficient privilege to perform this operation! "
            "Please run program as administrator.\"\n");
  EXPECT_TRUE(logFiles().empty());
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");

  result = run(kNotAdmin, {"/s", "/log=refused.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui, "");  // no box in silent mode
  EXPECT_TRUE(logFiles().empty());
  EXPECT_EQ(result.out + result.err, "");
}

TEST_F(Vormel, WindowThatCannotBeCreatedFailsTheRun) {
  Outcome result = run(kNoWindow, {"/log=nowindow.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui, "messagebox \"Error\" \"Error starting application! Creating window failed.\"\n");
  EXPECT_EQ(scratch_.read("nowindow.log"), written(kFailed));

  result = run(kNoWindow, {"/S", "/log=silent.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui, "");  // logged instead of shown
  EXPECT_EQ(scratch_.read("silent.log"),
            written(std::string("Error starting application! Creating window failed.\n") + kFailed));
  EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
