// The drives of the machine as device-list records, and spinning one drive
// up or down.
#pragma once

#include <string>
#include <vector>

#include "cmdlib/cmdlib_gencmd.h"

namespace DivizuCmdlib {

// Lists every drive, or the one named by the id, or those of one device
// type. Locked drives are listed without being probed; a drive seen both as
// a physical drive and behind a RAID driver is usable in one record only.
class ORV_EXPORT DivIzuDevList : public DivIzuGenCmd {
 public:
  DivIzuDevList();
  // id: a drive to list alone, or empty for all; filter OSL_DEV_NONE for every
  // device type. timeout: seconds for each probing device's commands.
  DivIzuDevList(std::string id, osl_dev_type filter, u32 timeout);
  ~DivIzuDevList() override;

  u64 execute() override;
  u32 devCount() const { return static_cast<u32>(records.size()); }
  std::vector<_OrvDevProperty>::iterator devBegin() { return records.begin(); }
  std::vector<_OrvDevProperty>::iterator devEnd() { return records.end(); }
  bool isSupportedDrive() { return device ? device->isSupportedDrive() : false; }
  // What the last execute could not read: disk interfaces and storage ports
  // the listing went on past, then the listed drives it could not read. A
  // drive the caller looks for may be among them.
  const osl_unread_list& unreadDrives() const { return unread; }
  // How many of those the listing itself went on past (the first ones).
  u32 unreadListingCount() const { return unreadListing; }

  // A listed drive of a known device type that was not read: its probe did
  // not complete, or another live program holds its lock. Its record keeps
  // what the drive list's descriptor said; a SCSI-ATA translation reports a
  // shortened model there. modelField: the characters of the field the model
  // came from (a shorter model is whole), 0 when the list has no model.
  struct UnreadDrive {
    std::string deviceName;
    std::string listedModel;
    std::string reason;
    u32 modelField;
  };
  const std::vector<UnreadDrive>& unreadRecords() const { return unreadRecordList; }
  // The drives the listing itself went on past beyond the kept ones, by
  // model (as osl_unread_list's rest).
  struct UnreadModel {
    std::string listedModel;
    u32 modelField;
    u32 driveCount;
  };
  const std::vector<UnreadModel>& unreadListingRest() const { return unreadListingModels; }

 protected:
  // One drive seen as a physical drive and again behind a RAID driver (the
  // same serial number, a drive of the same kind, and models that may be
  // one) stays usable in the RAID record only. Two RAID records are two
  // drives, as are two physical drives. A RAID record without a serial
  // number is never usable.
  static void markDuplicates(std::vector<_OrvDevProperty>& records);

 private:
  // Fills a record from its drive; the probe's status. fillStatus: why the
  // drive's identification could not be read (0 when it was); reasons: what
  // the drive's controller could not answer when it was opened.
  u64 probe(_OrvDevProperty& record, bool& supported, u64& fillStatus, std::string& reasons);
  void addUnreadDrive(const _OrvDevProperty& record, u32 modelField, const std::string& reason);

  std::vector<_OrvDevProperty> records;
  osl_dev_type filter;
  osl_unread_list unread{};
  u32 unreadListing = 0;
  std::vector<UnreadDrive> unreadRecordList;
  std::vector<UnreadModel> unreadListingModels;
};

// Spins one drive up or down.
class ORV_EXPORT DivIzuDevReady : public DivIzuGenCmd {
 public:
  DivIzuDevReady(std::string id, bool spinDown, u32 timeout);
  u64 execute() override;

 private:
  bool spinDown;
};

}  // namespace DivizuCmdlib
