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
  // the listing went on past, and drives whose probe failed before anything
  // identified them. A drive the caller looks for may be among them.
  const osl_unread_list& unreadDrives() const { return unread; }

 protected:
  // One drive seen as a physical drive and again behind a RAID driver (the
  // same serial number) stays usable in one record; a RAID record without a
  // serial number is never usable.
  static void markDuplicates(std::vector<_OrvDevProperty>& records);

 private:
  // Fills a record from its drive; the probe's status.
  u64 probe(_OrvDevProperty& record, bool& supported);

  std::vector<_OrvDevProperty> records;
  osl_dev_type filter;
  osl_unread_list unread{};
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
