// The update flow: the embedded package and licence text, the drives the
// package is meant for, the update of each drive and the exit code.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "cmdlib/cmdlib_fwupdate.h"
#include "osl/osl_platform.h"
#include "osl/osl_types.h"

// Resources of the executable.
constexpr u32 kPackageResource = 104;
constexpr u32 kLicenceResource = 107;

// The context of one run. Making it installs the termination handler for
// SIGINT, SIGABRT and SIGTERM; destroying it restores their default handling.
struct UpdateSession {
  UpdateSession(bool silent, bool nomodel);
  ~UpdateSession();
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  char modelNumber[41] = {};
  char componentId[9] = {};
  char targetRevision[9] = {};
  bool silent;
  bool nomodel;
  u8* package = nullptr;  // RCDATA 104
  u32 packageSize = 0;
  u8* image = nullptr;    // inside the package
  u32 imageLength = 0;
  const char* licence = nullptr;  // RCDATA 107, not NUL-terminated
  u32 licenceSize = 0;
  u64 firstFailure = 0;
  std::map<std::string, u64> results;  // by device name, in name order
  std::vector<VazidaRaduru::_OrvDevProperty> matched;  // in list order, for the table
  // What the drive list could not read ("<what>: <why>"): the run cannot
  // tell whether the package is meant for a drive among them.
  std::vector<std::string> unread;

  void setCurrentCommand(DivizuCmdlib::DivIzuGenCmd* command) { currentCommand = command; }
  void clearCurrentCommand() { currentCommand = nullptr; }
  DivizuCmdlib::DivIzuGenCmd* getCurrentCommand() const { return currentCommand; }
  // Asks the running command to abort and stops the drive loop.
  void abortCurrentCommand();
  bool isAborted() const { return abortFlag; }
  bool isSilent() const { return silent; }

 private:
  // Read by the termination handler, which may run on another thread.
  std::atomic<DivizuCmdlib::DivIzuGenCmd*> currentCommand{nullptr};
  std::atomic<bool> abortFlag{false};
};

// Runs the update; returns the process exit code (0, 1, 1602 or 4000).
u32 runUpdate();
// Loads and checks the package, lists and matches the drives and updates
// each; returns the first failure and sets the three result flags.
u64 runAllDrives(UpdateSession& session, bool& failed, bool& sameRevision, bool& rebootNeeded);
// Updates one drive; returns its status (0: the drive now runs the image).
u64 updateDrive(UpdateSession& session, const std::string& deviceName, bool& sameRevision,
                bool& rebootNeeded);
// "Failed : '<status text>'", or the text given, on the error stream.
void reportFailure(UpdateSession& session, u64 status, const std::string& text);
// Names, on the error stream, what the drive list could not read.
void reportUnreadDrives(const UpdateSession& session);
void printDeviceProperties(DivizuCmdlib::DivIzuFwDownloadFromBuffer& command);
// SIGINT, SIGABRT and SIGTERM: aborts the run with exit code 130.
void onTerminateSignal(int signalNumber);

// The package and the licence text.
u64 loadRcdataResource(HMODULE module, u32 id, u8** data, u32* size);
u64 loadResources(UpdateSession& session);
// Verifies the package header and takes the target and the image from it.
u64 readPackageHeader(UpdateSession& session);
// The run needs an image, a target revision and, unless every drive is
// updated, a model number or a component id.
u64 checkPackageTarget(const UpdateSession& session);
void printLicenceText(const UpdateSession& session);

// Whether the package is meant for the drive of this record: by its model
// number (also after the maker's name), or by its component id for a package
// without one; with nomodel, every drive is.
bool isMeantFor(const UpdateSession& session, const VazidaRaduru::_OrvDevProperty& record);
// The usable drives the package is meant for, into the results and the
// matched records; what the list could not read, into unread.
u64 matchDevices(UpdateSession& session);
void printDeviceTable(const UpdateSession& session);
void printDownloadBanner();
// The text without the blanks at either end.
std::string trimmed(const std::string& text);
