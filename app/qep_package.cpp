// The embedded package and licence text, and the drives the package is
// meant for.
#include <cstring>
#include <memory>
#include <string>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "cmdlib/cmdlib_devlist.h"
#include "cmdlib/cmdlib_pkg.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_model.h"

using namespace DivizuCmdlib;
using VazidaRaduru::_OrvDevProperty;

namespace {

u64 appStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

// A drive list's model may be the start of the drive's own, cut short by the
// field it came from (a SCSI-ATA translation reports 16 characters of an ATA
// model): the drive may be the package's when the field would hold as much
// of the package's model.
bool mayBeMeantFor(const UpdateSession& session, const std::string& listedModel, u32 modelField) {
  if (session.nomodel || session.modelNumber[0] == '\0') return true;
  return osl_may_be_model(listedModel.c_str(), modelField, session.modelNumber);
}

template <size_t N>
void copyText(char (&to)[N], const std::string& from) {
  osl_strcpy(to, N, from.c_str());
}

}  // namespace

bool isMeantFor(const UpdateSession& session, const _OrvDevProperty& record) {
  if (session.nomodel) return true;
  if (session.modelNumber[0] == '\0') return std::strcmp(record.componentId, session.componentId) == 0;
  // A drive is written only when the model it reported is the package's,
  // whole.
  return osl_is_model(record.modelNumber, session.modelNumber);
}

u64 loadRcdataResource(HMODULE module, u32 id, u8** data, u32* size) {
  *data = nullptr;
  *size = 0;
  char message[64];
  osl_snprintf(message, sizeof message, sizeof message - 1, "Error in finding resource %u\n", id);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!found) {
    showMessageBox(message);
    return appStatus(ORV_ERR_GENERIC, 720);
  }
  HGLOBAL loaded = LoadResource(module, found);
  void* bytes = loaded ? LockResource(loaded) : nullptr;
  DWORD length = bytes ? SizeofResource(module, found) : 0;
  if (!bytes || length == 0) {
    showMessageBox(message);
    return appStatus(ORV_ERR_GENERIC, 731);
  }
  *data = static_cast<u8*>(bytes);
  *size = length;
  return 0;
}

u64 loadResources(UpdateSession& session) {
  HMODULE self = GetModuleHandleW(nullptr);
  u64 status = loadRcdataResource(self, kPackageResource, &session.package, &session.packageSize);
  if (status) return status;
  u8* licence = nullptr;
  status = loadRcdataResource(self, kLicenceResource, &licence, &session.licenceSize);
  session.licence = reinterpret_cast<const char*>(licence);
  return status;
}

u64 readPackageHeader(UpdateSession& session) {
  std::unique_ptr<DivIzuPkgInfo> info;
  try {
    info.reset(new DivIzuPkgInfo(session.package, session.packageSize));
  } catch (u64 status) {
    return status;
  } catch (...) {
    return appStatus(ORV_ERR_GENERIC, 813);
  }
  u64 status = info->execute();
  if (status) return status;
  _OrvFwPkgHeader header = info->getPkgHeader();
  if (header.modelNumber.size() >= sizeof session.modelNumber) return appStatus(ORV_ERR_INVALID_ARGUMENT, 828);
  session.imageLength = header.imageLength;
  session.image = session.package + header.headerLength;
  copyText(session.modelNumber, header.modelNumber);
  copyText(session.targetRevision, header.firmwareVersion);
  copyText(session.componentId, header.componentId);
  return 0;
}

u64 checkPackageTarget(const UpdateSession& session) {
  bool namesDrives = session.modelNumber[0] != '\0' || session.componentId[0] != '\0';
  if (session.imageLength == 0 || session.targetRevision[0] == '\0' || (!session.nomodel && !namesDrives))
    return appStatus(ORV_ERR_INVALID_ARGUMENT, 598);
  return 0;
}

void printLicenceText(const UpdateSession& session) {
  // The whole text, however long, on lines of its own: it is no formatted
  // line of the window.
  if (!session.silent) applog_open_slots();
  applog_printf_out("\r\n%.*s\r\n", static_cast<int>(session.licenceSize), session.licence);
  applog_empty_slots();
}

u64 matchDevices(UpdateSession& session) {
  std::unique_ptr<DivIzuDevList> list;
  try {
    list.reset(new DivIzuDevList("", OSL_DEV_NONE, 5));
  } catch (u64 status) {
    return status;
  } catch (...) {
    return appStatus(ORV_ERR_GENERIC, 70);
  }
  if (session.modelNumber[0] == '\0' && session.componentId[0] == '\0') {
    if (!session.silent) applog_open_slots();
    appPrintf(true, false, "\n\nInvalid Argument. Either Component Id or Model Number argument is needed.\n\n");
    applog_empty_slots();
    return appStatus(ORV_ERR_INVALID_ARGUMENT, 79);
  }
  u64 status = list->execute();
  const osl_unread_list& unread = list->unreadDrives();
  u32 listingGaps = list->unreadListingCount();
  for (u32 i = 0; i < listingGaps && i < OSL_UNREAD_KEPT; ++i)
    if (mayBeMeantFor(session, unread.models[i], unread.modelFields[i])) session.unread.emplace_back(unread.texts[i]);
  u32 more = 0;
  for (const DivIzuDevList::UnreadModel& rest : list->unreadListingRest())
    if (mayBeMeantFor(session, rest.listedModel, rest.modelField)) more += rest.driveCount;
  if (more) session.unread.push_back(std::to_string(more) + " more (see the log)");
  if (status) return status;
  bool taken = false;
  for (auto record = list->devBegin(); record != list->devEnd(); ++record) {
    if (!record->usable || !isMeantFor(session, *record)) continue;
    session.results.emplace(record->deviceName, 0);
    session.matched.push_back(*record);
    taken = true;
  }
  // A drive that was not read is named unless its update reports on it, or
  // what the drive list says of it already rules the package out.
  for (const DivIzuDevList::UnreadDrive& drive : list->unreadRecords()) {
    if (session.results.count(drive.deviceName) || !mayBeMeantFor(session, drive.listedModel, drive.modelField))
      continue;
    session.unread.push_back(drive.deviceName + ": " + drive.reason);
  }
  return taken ? 0 : appStatus(ORV_ERR_NO_DEVICES, 174);
}

void printDeviceTable(const UpdateSession& session) {
  appPrintf(true, false, "\r\n%-16s%-12s%-25s%-35s%-40s%-31s%-10s%-10s", "PHYSICAL-DRIVE", "UNIT-STATUS",
            "CURRENT-FW-VER", "TARGETTED-FW-VER", "MODEL-NUMBER", "SERIAL-NUMBER", "TRANSPORT", "DEV-TYPE");
  appPrintf(true, false, "\r\n%s", std::string(183, '-').c_str());
  for (const _OrvDevProperty& record : session.matched)
    appPrintf(true, false, "\r\n%-16s%-12s%-25s%-35s%-40s%-31s%-10s%-10s\r\n", record.deviceName,
              record.unitStatus == 1 ? "Ready" : "Not Ready", record.firmwareRevision, session.targetRevision,
              osl_model_start(record.modelNumber), record.serialNumber, busTypeName(record.physicalBus),
              devTypeName(record.deviceType));
  appPrintf(true, false, "\r\n");
}

void printDownloadBanner() {
  appPrintf(false, false, "\r\nFIRMWARE %s IS STARTED.\r\n", "DOWNLOAD");
  appPrintf(false, false,
            "WARNING: DO NOT POWER OFF THE SYSTEM OR CANCEL THE PROCESS DURING THIS OPERATION. THE DRIVE MAY "
            "GO IN AN INCONSISTENT STATE.\r\n");
  appPrintf(false, false, "THIS MAY TAKE SOME TIME. PLEASE WAIT...\r\n");
}
