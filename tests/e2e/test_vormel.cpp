// The real VORMEL executable on simulated machines: each test writes its
// machine file, runs the program in a scratch folder and reads back its
// console streams, log file, progress window, message boxes and exit code.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "unit/scratch.h"

namespace {

struct Outcome {
  int exitCode = -1;
  int pid = 0;
  std::string out, err;
  std::string window;  // the progress window's text as last painted
  std::string ui;      // dialog events and message boxes, one a line
  std::string events;  // event-log reports
};

class Vormel : public ::testing::Test {
 protected:
  Outcome run(const std::string& machine, std::vector<std::string> options) {
    scratch_.write("machine.json", machine);
    for (const char* name : {"out.txt", "err.txt", "window.txt", "ui.txt", "events.txt", "exitcode.txt"})
      std::filesystem::remove(std::filesystem::path(scratch_.path()) / name);
    std::vector<std::string> arguments{VORMEL_PATH};
    arguments.insert(arguments.end(), options.begin(), options.end());
    Outcome result;
    pid_t child = fork();
    if (child == 0) {
      if (chdir(scratch_.path().c_str()) != 0) _exit(126);
      setenv("WINSIM_MACHINE", "machine.json", 1);
      setenv("WINSIM_WINDOW", "window.txt", 1);
      setenv("WINSIM_UI", "ui.txt", 1);
      setenv("WINSIM_EVENTLOG", "events.txt", 1);
      setenv("WINSIM_EXITCODE", "exitcode.txt", 1);
      int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      for (auto& argument : arguments) argv.push_back(&argument[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.pid = child;
    EXPECT_TRUE(WIFEXITED(status));
    std::string whole = scratch_.read("exitcode.txt");
    result.exitCode = whole.empty() ? -1 : std::stoi(whole);
    EXPECT_EQ(WEXITSTATUS(status), result.exitCode & 0xFF);
    result.out = scratch_.read("out.txt");
    result.err = scratch_.read("err.txt");
    result.window = scratch_.read("window.txt");
    result.ui = scratch_.read("ui.txt");
    result.events = scratch_.read("events.txt");
    return result;
  }

  // The log files the run left in the scratch folder.
  std::vector<std::string> logFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_.path()))
      if (entry.path().extension() == ".log") names.push_back(entry.path().filename().string());
    return names;
  }

  ScratchFolder scratch_;
};

const char kAdmin[] = R"({"windows": "10.0", "admin": true, "drives": []})";
const char kNotAdmin[] = R"({"windows": "10.0", "admin": false, "drives": []})";
const char kNoWindow[] = R"({"admin": true, "create_window_fails": true})";

// Every line of a run in which no drive was updated.
const char kRunLines[] =
    "[[[QEP Version : 01.03.3146]]]\r\n>>> Command failed...\r\n### Return code: 1 ###\r\n";

TEST_F(Vormel, ShownRunNamesItsLogOnTheConsole) {
  Outcome result = run(kAdmin, {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(scratch_.read("run.log"), kRunLines);
  EXPECT_EQ(result.window, kRunLines);
  EXPECT_EQ(result.out, "\nSee log file 'run.log' for details.\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.ui, "dialog 103\nshow 103 10\nquit 0\ndestroy 103\n");
}

TEST_F(Vormel, SilentRunKeepsTheConsoleEmpty) {
  for (const char* silent : {"/s", "/S"}) {
    Outcome result = run(kAdmin, {silent, "/log=silent.log"});
    EXPECT_EQ(result.exitCode, 1) << silent;
    EXPECT_EQ(result.out, "") << silent;
    EXPECT_EQ(result.err, "") << silent;
    EXPECT_EQ(result.window, kRunLines) << silent;  // the hidden window gets every line
    EXPECT_NE(result.ui.find("show 103 0\n"), std::string::npos) << result.ui;
    EXPECT_EQ(result.ui.find("messagebox"), std::string::npos);
  }
  EXPECT_EQ(scratch_.read("silent.log"), std::string(kRunLines) + kRunLines);  // appended
}

TEST_F(Vormel, OnlyTheExactSilentWords) {
  for (const char* option : {"/sx", "/s ", "-s", "/silent"}) {
    Outcome result = run(kAdmin, {option});
    EXPECT_NE(result.ui.find("show 103 10\n"), std::string::npos) << option;
    EXPECT_NE(result.out.find("See log file"), std::string::npos) << option;
  }
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
  EXPECT_EQ(result.out, "\nSee log file '" + folder + "\\" + logs[0] + "' for details.\n");
}

TEST_F(Vormel, LogOptionQuotesAndCase) {
  run(kAdmin, {"/LOG=\"quoted.log\""});
  EXPECT_EQ(scratch_.read("quoted.log"), kRunLines);
  run(kAdmin, {"/Log=xtrail.log\""});  // first and last character go
  EXPECT_EQ(scratch_.read("trail.log"), kRunLines);
  run(kAdmin, {"/log=first.log", "/log=second.log"});
  EXPECT_FALSE(scratch_.exists("first.log"));
  EXPECT_EQ(scratch_.read("second.log"), kRunLines);
}

TEST_F(Vormel, QuoteOnlyLogValueSelectsTheDefaultName) {
  run(kAdmin, {"/log=a\""});
  std::vector<std::string> logs = logFiles();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].rfind("VORMEL-", 0), 0u) << logs[0];
}

TEST_F(Vormel, NonAsciiLogPathKeptWhole) {
  std::string name = "\xC3\xBC\xC3\xB1\xE2\x82\xAC-log.log";  // three characters of two and three bytes
  Outcome result = run(kAdmin, {"/log=" + name});
  EXPECT_EQ(scratch_.read(name), kRunLines);
  EXPECT_EQ(result.out, "\nSee log file '" + name + "' for details.\n");
}

TEST_F(Vormel, LogFolderMissing) {
  Outcome result = run(kAdmin, {"/log=missing\\run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(logFiles().empty());
  EXPECT_EQ(result.window, kRunLines);  // the run goes on without a file
  EXPECT_EQ(result.out, "");             // no file to name
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
  EXPECT_EQ(scratch_.read("nowindow.log"), "\r\n>>> Command failed...\r\n### Return code: 1 ###\r\n");

  result = run(kNoWindow, {"/S", "/log=silent.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui, "");  // logged instead of shown
  EXPECT_EQ(scratch_.read("silent.log"),
            "Error starting application! Creating window failed.\n\r\n>>> Command failed...\r\n"
            "### Return code: 1 ###\r\n");
  EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
