// A test on a simulated machine described inline; the bare machine is back
// afterwards, and no handle may be left open.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "unit/scratch.h"
#include "winsim/handles.h"
#include "winsim/machine.h"
#include "winsim/winsim_test.h"

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::clearStorageTrace();
    handlesBefore_ = winsim::openHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(winsim::openHandleCount(), handlesBefore_) << "a handle was left open";
    winsim::Machine::load("");
    winsim::clearStorageTrace();
  }

  void load(const std::string& json) {
    machineFile_ = scratch_.write("machine.json", json);
    winsim::Machine::load(machineFile_);
    winsim::clearStorageTrace();
  }
  // The next run on the same machine: its file as the last run left it.
  void reload() {
    winsim::Machine::load(machineFile_);
    winsim::clearStorageTrace();
  }

  // The names of the control codes sent since the last clear.
  static std::string trace() {
    std::string names;
    for (const winsim::StorageRequest& request : winsim::storageTrace()) {
      if (!names.empty()) names += " ";
      names += request.name.substr(6);  // without "IOCTL_"
      if (request.name == "IOCTL_STORAGE_QUERY_PROPERTY") names += ":" + std::to_string(request.property);
    }
    return names;
  }

  ScratchFolder scratch_;

 private:
  std::string machineFile_;
  size_t handlesBefore_ = 0;
};
