// Runs the real VORMEL executable on a simulated machine: each test writes
// its machine file, runs the program in a scratch folder and reads back its
// console streams, log file, progress window, message boxes, exit code and
// the drives' state the machine file keeps.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "unit/scratch.h"
#include "e2e/package_bytes.h"

struct Outcome {
  int exitCode = -1;
  int pid = 0;
  std::string out, err;
  std::string window;  // the progress window's text as last painted
  std::string ui;      // dialog events and message boxes, one a line
  std::string events;  // event-log reports
};

// Environment variables of one run besides the machine's own.
using Environment = std::vector<std::pair<std::string, std::string>>;

class Vormel : public ::testing::Test {
 protected:
  // machine: the machine file's text; empty to keep the file the last run
  // left (drive state included).
  // Each run starts without the log files of earlier runs: the program
  // appends to its log, and a run reads only what it wrote.
  Outcome run(const std::string& machine, std::vector<std::string> options, const Environment& environment = {}) {
    for (const std::string& name : logFiles()) std::filesystem::remove(std::filesystem::path(scratch_.path()) / name);
    return runAfterEarlierRuns(machine, std::move(options), environment);
  }
  // The same, leaving the log files of earlier runs in place.
  Outcome runAfterEarlierRuns(const std::string& machine, std::vector<std::string> options,
                              const Environment& environment = {}) {
    if (!machine.empty()) scratch_.write("machine.json", machine);
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
      for (const auto& variable : environment) setenv(variable.first.c_str(), variable.second.c_str(), 1);
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

  // The running revision of each drive as the machine file keeps it, in the
  // file's order.
  std::vector<std::string> revisions() const {
    rapidjson::Document machine;
    machine.Parse(scratch_.read("machine.json").c_str());
    std::vector<std::string> found;
    if (machine.HasParseError() || !machine.HasMember("drives")) return found;
    for (const auto& drive : machine["drives"].GetArray())
      found.push_back(drive.HasMember("firmware") ? drive["firmware"].GetString() : "REV00001");
    return found;
  }

  // A lock file of the system's lock folder on the machine.
  void writeLock(const std::string& drive, const std::string& text) const {
    std::filesystem::path folder = std::filesystem::path(scratch_.path()) / "programdata/ORVENTA/VORMEL/lock";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / drive, std::ios::binary) << text;
  }
  bool lockExists(const std::string& drive) const {
    return std::filesystem::exists(std::filesystem::path(scratch_.path()) / "programdata/ORVENTA/VORMEL/lock" / drive);
  }

  ScratchFolder scratch_;
};

// The texts must stand in the text in this order (other text may lie between).
inline void expectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    size_t found = text.find(part, at);
    ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": '" << part << "' in\n" << text;
    at = found + part.size();
  }
}

inline size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The licence text the build embeds.
inline std::string licenceText() {
  std::ifstream file(LICENCE_PATH, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A text of the program as the console streams and the log file receive it:
// they are text streams, whose line end the program writes as "\n" where its
// text (made for the window) says "\r\n"; this host's runtime keeps "\n".
inline std::string written(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

inline void expectWrittenInOrder(const std::string& text, std::vector<std::string> parts) {
  for (std::string& part : parts) part = written(part);
  expectInOrder(text, parts);
}
