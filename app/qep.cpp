#include "app/qep.h"

#include <csignal>
#include <memory>
#include <utility>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_cmd.h"

using namespace DivizuCmdlib;
using VazidaRaduru::_OrvDevProperty;

namespace {

const char kQepVersion[] = "01.03.3146";
constexpr UINT kInterruptedExitCode = 130;
const int kTerminationSignals[] = {SIGINT, SIGABRT, SIGTERM};

// The run the termination handler stops; null outside runAllDrives.
std::atomic<UpdateSession*> registeredSession{nullptr};

u64 appStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

// The console streams, open around chosen messages and never in silent mode.
class ConsoleSlots {
 public:
  explicit ConsoleSlots(const UpdateSession& session) {
    if (!session.isSilent()) applog_open_slots();
  }
  ~ConsoleSlots() { applog_empty_slots(); }
  ConsoleSlots(const ConsoleSlots&) = delete;
  ConsoleSlots& operator=(const ConsoleSlots&) = delete;
};

// What one drive's update learns on the way.
struct DriveRun {
  std::string oldRevision;
  std::string newRevision;
  std::string postAction = DivIzuGenCmd::postCmdActionStr(VazidaRaduru::ORV_POST_NO_OPERATION);
  bool pending = false;
  bool deferred = false;
  // Why the drive failed, when a command of this drive said so: the
  // process-wide last-error text is taken only from this drive's commands.
  std::string errorText;
};

// Builds a command of this drive; a failed constructor's text becomes the
// drive's error text.
template <typename Command, typename... Arguments>
std::unique_ptr<Command> makeCommand(DriveRun& run, Arguments&&... arguments) {
  try {
    return std::unique_ptr<Command>(new Command(std::forward<Arguments>(arguments)...));
  } catch (u64) {
    run.errorText = DivIzuGenCmd::getLastError();
    throw;
  }
}

// A read of the drive that failed: the calls that named themselves in it are
// the drive's error text.
u64 describedFailure(u64 status, const DivIzuGenCmd& command, DriveRun& run) {
  if (status && !command.getFailureText().empty()) run.errorText = command.getFailureText();
  return status;
}

// SCSI drives report a revision of 4 characters, the start of a longer one.
constexpr size_t kScsiRevisionLength = 4;

bool isPackageRevision(const std::string& revision, const std::string& target, osl_dev_type deviceType) {
  std::string shown = trimmed(revision);
  if (deviceType == OSL_DEV_SCSI && target.size() > kScsiRevisionLength)
    return shown == target.substr(0, kScsiRevisionLength);
  return shown == target;
}

// The record the run's listing made of the drive.
const _OrvDevProperty* listedRecord(const UpdateSession& session, const std::string& name) {
  for (const _OrvDevProperty& listed : session.matched)
    if (name == listed.deviceName) return &listed;
  return nullptr;
}

// The drive the id opened must be the drive the listing read: of the
// package's model by the listing's own rule and, where the listing read the
// serial number from the drive itself, of that serial number. A record the
// listing could not fill holds the serial number of Windows' device
// descriptor, which may be written another way: its model alone is compared.
// listed: the listing's record of the drive (listedRecord).
u64 checkOpenedDrive(const UpdateSession& session, const _OrvDevProperty* listed, _OrvDevProperty opened,
                     const std::string& model, const std::string& serial, DriveRun& run) {
  osl_strcpy(opened.modelNumber, sizeof opened.modelNumber, model.c_str());
  osl_strcpy(opened.serialNumber, sizeof opened.serialNumber, serial.c_str());
  bool sameSerial = !listed || !(listed->state & VazidaRaduru::ORV_STATE_FILLED) || serial == listed->serialNumber;
  if (sameSerial && isMeantFor(session, opened)) return 0;
  run.errorText = "The drive opened reports model " + (model.empty() ? "(none)" : model) + " and serial number " +
                  (serial.empty() ? "(none)" : serial) + ", not the drive listed";
  return appStatus(ORV_ERR_GENERIC, 461);
}

// Steps of one drive's update that may throw: the download, then the
// revisions before and after it. Returns the drive's status.
u64 downloadToDrive(UpdateSession& session, const std::string& name, DriveRun& run, bool& rebootNeeded) {
  // What the drive's commands could not read of a drive the listing read as
  // of another model is no reason given for this one.
  const _OrvDevProperty* listed = listedRecord(session, name);
  osl_lookup_scope runListingModel(nullptr, listed ? listed->modelNumber : nullptr, listed ? listed->modelField : 0);
  std::unique_ptr<DivIzuFwDownloadFromBuffer> command =
      makeCommand<DivIzuFwDownloadFromBuffer>(run, name, session.image, session.imageLength);
  printDeviceProperties(*command);
  osl_dev_type deviceType = command->getDeviceType();
  if (deviceType == OSL_DEV_NVME && command->isDeferredDownloadSupported()) {
    run.deferred = true;
  } else {
    if (!session.isSilent())
      appPrintf(true, false,
                "Deferred download is not supported by device/system on '%s'. Firmware will be activated on "
                "download.\r\n\r\n",
                name.c_str());
    command->setDeferredDownloadFlag(false);
  }
  run.postAction = DivIzuGenCmd::postCmdActionStr(static_cast<_OrvPostCmdAction>(run.deferred ? 1 : 0));

  struct CurrentCommand {
    UpdateSession& session;
    CurrentCommand(UpdateSession& running, DivIzuGenCmd* command) : session(running) {
      session.setCurrentCommand(command);
    }
    ~CurrentCommand() { session.clearCurrentCommand(); }
  } current(session, command.get());

  std::string model, serial;
  u64 status = describedFailure(command->getDeviceInfo(run.oldRevision, model, serial), *command, run);
  if (status) return status;
  status = checkOpenedDrive(session, listed, command->getDevProperty(), model, serial, run);
  if (status) return status;
  Sleep(1000);
  appPrintf(true, false, "=========>Update in progress for device '%s'! Please wait...\r\n", name.c_str());

  status = describedFailure(command->execute(), *command, run);
  const char* word = "Failed.";
  if (status == 0) {
    command->getDeviceInfo(run.newRevision, model, serial);
    // The download itself succeeded: a failure to read the slots after it is
    // reported below its "Success.", with the reading command's own reason.
    std::unique_ptr<DivIzuFwInfo> info;
    try {
      info = makeCommand<DivIzuFwInfo>(run, name, 0u);
      status = describedFailure(info->execute(), *info, run);
    } catch (u64 thrown) {
      status = thrown;
    }
    if (status == 0) {
      if (info->slotBegin() != info->slotEnd() && info->slotBegin()->revision != run.newRevision)
        run.newRevision = info->slotBegin()->revision;
      run.pending = command->isRebootRequired();
      if (run.pending && run.newRevision == run.oldRevision) run.pending = false;
      if (run.pending) rebootNeeded = true;
      if (deviceType == OSL_DEV_NVME) {
        if (run.pending)
          run.deferred = true;
        else if (run.newRevision == run.oldRevision)
          run.deferred = false;
        run.postAction = DivIzuGenCmd::postCmdActionStr(static_cast<_OrvPostCmdAction>(run.deferred ? 1 : 0));
      }
    }
    word = "Success.";
    // A download that left the drive on an old revision did not update it.
    std::string target = trimmed(session.targetRevision);
    if (status == 0 && !run.deferred && run.newRevision == run.oldRevision &&
        !isPackageRevision(run.oldRevision, target, deviceType)) {
      status = appStatus(ORV_ERR_GENERIC, 487);
      run.errorText = "The drive still runs firmware revision " + run.oldRevision + " after the download, not " +
                      target;
      word = "Failed.";
    }
  }
  appPrintf(true, false, "%s\r\n", word);
  return status;
}

void printResultLines(const UpdateSession& session, const std::string& name, const DriveRun& run,
                      bool& sameRevision) {
  std::string first = "[Old-revision:" + run.oldRevision + "] ";
  std::string second = "[New-revision:" + run.newRevision + "] ";
  std::string samePart;
  std::string note;
  const char* operation;
  if (run.deferred) {
    first = "[Current-revision:" + run.oldRevision + "] ";
    std::string pendingRevision = run.newRevision.empty() ? "Unknown(activation pending)" : run.newRevision;
    if (run.pending) second = "[Pending-revision:" + pendingRevision + "] ";
    operation = "Firmware download";
    if (run.pending && run.oldRevision != run.newRevision)
      note = "Please perform '" + run.postAction + "' to activate the firmware.";
  } else {
    operation = "Firmware download and activation";
    if (run.oldRevision == run.newRevision) {
      sameRevision = true;
      samePart = " (Same revision)";
    }
  }
  applog_cmd_completed(true, name.c_str(), operation, 0, !session.isSilent());
  appPrintf(true, false, "%s%s%s%s\r\n", "", first.c_str(), second.c_str(), samePart.c_str());
  if (!note.empty()) appPrintf(true, false, "%s\r\n\r\n", note.c_str());
}

}  // namespace

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

UpdateSession::UpdateSession(bool silentRun, bool everyDrive) : silent(silentRun), nomodel(everyDrive) {
  for (int signalNumber : kTerminationSignals) std::signal(signalNumber, onTerminateSignal);
}

UpdateSession::~UpdateSession() {
  for (int signalNumber : kTerminationSignals) std::signal(signalNumber, SIG_DFL);
  UpdateSession* self = this;
  registeredSession.compare_exchange_strong(self, nullptr);
}

void UpdateSession::abortCurrentCommand() {
  if (DivIzuGenCmd* command = currentCommand) command->abort(nullptr);
  abortFlag = true;
}

u32 runUpdate() {
  applog_empty_slots();
  appPrintf(true, false, "[[[QEP Version : %s]]]", kQepVersion);
  bool failed = false;
  bool sameRevision = false;
  bool rebootNeeded = false;
  u64 firstFailure = 0;
  {
    UpdateSession session(appState.silent, appState.nomodel);
    firstFailure = runAllDrives(session, failed, sameRevision, rebootNeeded);
  }
  if (firstFailure != 0 || failed) return 1;
  if (rebootNeeded) return 1602;
  if (sameRevision) return 4000;
  return 0;
}

u64 runAllDrives(UpdateSession& session, bool& failed, bool& sameRevision, bool& rebootNeeded) {
  registeredSession = &session;
  u64 status = loadResources(session);
  if (status == 0) status = readPackageHeader(session);
  if (status == 0) status = checkPackageTarget(session);
  if (status == 0) {
    printLicenceText(session);
    status = matchDevices(session);
    if (status == 0 && session.results.empty()) status = appStatus(ORV_ERR_NO_DEVICES, 624);
  }
  if (status != 0) {
    ConsoleSlots slots(session);
    reportFailure(session, status, "");
  } else {
    {
      ConsoleSlots slots(session);
      if (session.nomodel)
        appPrintf(true, false, "\r\n\r\nFollowing are the devices present on system\r\n\r\n");
      else
        appPrintf(true, false, "\r\n\r\nFollowing are the devices matched Model Number : %s\r\n\r\n",
                  session.modelNumber);
      printDeviceTable(session);
      if (!session.isSilent()) printDownloadBanner();
    }
    for (auto& [name, result] : session.results) {
      // A drive the run did not reach after an abort was not updated.
      result = session.isAborted() ? appStatus(ORV_ERR_ABORTED, 647)
                                   : updateDrive(session, name, sameRevision, rebootNeeded);
      if (session.firstFailure == 0) session.firstFailure = result;
    }
  }
  if (!session.unread.empty()) {
    ConsoleSlots slots(session);
    reportUnreadDrives(session);
    failed = true;
  }
  for (const auto& entry : session.results)
    if (entry.second != 0) failed = true;
  return session.firstFailure;
}

u64 updateDrive(UpdateSession& session, const std::string& name, bool& sameRevision, bool& rebootNeeded) {
  auto errorPrinter = session.isSilent() ? applog_printf_file : applog_printf_out;
  {
    ConsoleSlots slots(session);
    appPrintf(true, false, "Firmware download started on drive : %s\r\n\r\n", name.c_str());
  }
  DriveRun run;
  u64 status = 0;
  bool unknownError = false;
  try {
    status = downloadToDrive(session, name, run, rebootNeeded);
  } catch (u64 thrown) {
    status = thrown;
  } catch (...) {
    status = appStatus(ORV_ERR_GENERIC, 520);
    unknownError = true;
  }

  ConsoleSlots slots(session);
  if (unknownError) {
    errorPrinter("Unknown error\n");
  } else if (status != 0 && !run.errorText.empty()) {
    errorPrinter("[%s] Error description: %s.\n", name.c_str(), run.errorText.c_str());
  }
  if (status != 0) {
    char text[256] = {};
    orv_status_msgstr(status, text, sizeof text);
    // An interrupted drive keeps its failure: it was not updated.
    appPrintf(true, true, "\r\n%s: Firmware download failed on device [%s].\r\n\r\n", name.c_str(), text);
  } else {
    printResultLines(session, name, run, sameRevision);
  }
  return status;
}

void reportFailure(UpdateSession& session, u64 status, const std::string& text) {
  char statusText[1024] = {};
  orv_status_msgstr(status, statusText, sizeof statusText);
  if (!text.empty())
    appPrintf(true, true, "\r\n\r\n'%s'\r\n\r\n", text.c_str());
  else
    appPrintf(true, true, "\r\n\r\nFailed : '%s'\r\n\r\n", statusText);
  if (session.firstFailure == 0) session.firstFailure = status;
}

void reportUnreadDrives(const UpdateSession& session) {
  appPrintf(true, true, "\r\nNot all drives could be read. These were not read and not updated:\r\n");
  // Each entry whole, however long: it is no formatted line.
  for (const std::string& what : session.unread) appPrintText((what + "\r\n").c_str(), true, true, true);
  appPrintf(true, true, "\r\n");
}

void printDeviceProperties(DivIzuFwDownloadFromBuffer& command) {
  _OrvDevProperty property = command.getDevProperty();
  const std::string rule(70, '-');
  auto row = [](const char* name, const char* value) { applog_debug("%-55s : %s\n", name, value); };
  auto yesNo = [](u8 bits, u8 mask) { return (bits & mask) ? "Yes" : "No"; };
  applog_debug("Device property before command execution [%s]\n", property.deviceName);
  applog_debug("%s\n", rule.c_str());
  row("Firmware Version", property.firmwareRevision);
  row("Unit Status", property.unitStatus != 0 ? "Ready" : "Not ready");
  row("Model Number", property.modelNumber);
  row("Serial Number", property.serialNumber);
  row("Bus type", busTypeName(property.commandBus));
  row("Device type", devTypeName(property.deviceType));
  row("SMART support", yesNo(property.capabilities1, VazidaRaduru::ORV_CAP1_SMART_SUPPORTED));
  row("SMART enabled", yesNo(property.capabilities1, VazidaRaduru::ORV_CAP1_SMART_ENABLED));
  row("Cache support", yesNo(property.capabilities2, VazidaRaduru::ORV_CAP2_WRITE_CACHE_SUPPORTED));
  row("Cache enabled", yesNo(property.capabilities2, VazidaRaduru::ORV_CAP2_WRITE_CACHE_ENABLED));
  if (property.deviceType == OSL_DEV_ATA) {
    row("Security enabled", yesNo(property.capabilities1, VazidaRaduru::ORV_CAP1_SECURITY_ENABLED));
    row("Security locked", yesNo(property.capabilities1, VazidaRaduru::ORV_CAP1_SECURITY_LOCKED));
    row("Security frozen", yesNo(property.capabilities1, VazidaRaduru::ORV_CAP1_SECURITY_FROZEN));
  }
  applog_debug("%s\n\n", rule.c_str());
}

void onTerminateSignal(int signalNumber) {
  u64 status = appStatus(ORV_ERR_ABORTED, 863);
  UpdateSession* session = registeredSession;
  if (!session) {
    std::signal(signalNumber, onTerminateSignal);
    return;
  }
  session->abortCurrentCommand();
  if (!session->isSilent()) applog_open_slots();
  applog_printf_out("\n");
  applog_print_status(status);
  // The drive loop does not go on: the process ends here, its log written.
  ExitProcess(kInterruptedExitCode);
}
