// The storage stack of the simulated machine: one disk per drive of the
// machine description, reached as "\\.\PHYSICALDRIVEn" or through its disk
// interface path, and what Windows' drivers answer to each control code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "winsim/drive.h"
#include "winsim/win32.h"
#include "winsim/scsi_target.h"
#include "winsim/storage_port.h"

namespace winsim {

class Machine;

struct Disk {
  uint32_t number = 0;
  std::string name;           // "PHYSICALDRIVEn"
  std::u16string path;        // the disk interface path
  std::shared_ptr<Drive> drive;
  // The SCSI-ATA translation in front of an ATA drive, or the SCSI side of
  // the driver in front of an NVMe controller.
  std::unique_ptr<ScsiTarget> translation;
  // An NVMe drive a RAID controller's driver presents as a disk of its own:
  // that driver answers for it, not the platform's NVMe driver.
  bool raidDriver = false;
  // The index of the storage port whose driver presents it, -1 for none.
  int port = -1;
  uint8_t pathId = 0;
  uint8_t targetId = 0;
  uint8_t lun = 0;

  // Native ATA commands reach only a drive on an AHCI port.
  AtaDrive* ataPath() const;
  ScsiTarget* scsiPath() const;
  // A RAID driver reaches the drive ("raid", or a disk a RAID controller's
  // driver presents): it names the bus RAID.
  bool behindRaidDriver() const;
  // The NVMe controller when the platform's NVMe driver reaches it (a RAID
  // driver carries only SCSI commands to one); else null.
  NvmeDrive* nvmeDriverPath() const;
};

// The answer of a storage driver to IOCTL_STORAGE_QUERY_PROPERTY: describe
// gives the property's bytes, or false for a property it does not know.
DWORD answerPropertyQuery(const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize, DWORD* returned,
                          const std::function<bool(DWORD, std::vector<uint8_t>&)>& describe);
// A STORAGE_ADAPTER_DESCRIPTOR's bytes.
std::vector<uint8_t> adapterDescriptorOf(DWORD maximumTransfer, DWORD maximumPages, uint8_t busType,
                                         DWORD alignmentMask);

// The most bytes one request moves to or from the disk: its adapter's
// MaximumTransferLength.
DWORD maximumTransfer(const Disk& disk);

struct StorageRequest;

// One DeviceIoControl call as a driver answers it.
struct Call {
  Disk& disk;
  const uint8_t* in;
  DWORD inSize;
  uint8_t* out;
  DWORD outSize;
  DWORD returned = 0;
  StorageRequest& trace;
};

// The NVMe driver's answers (storage_nvme.cpp); a Windows error, 0 success.
DWORD nvmeProtocolQuery(Call& call);
DWORD nvmeProtocolCommand(Call& call);
DWORD nvmeFirmwareInfo(Call& call);
DWORD nvmeFirmwareDownload(Call& call);
DWORD nvmeFirmwareActivate(Call& call);
DWORD nvmeTemperatureThreshold(Call& call);
DWORD nvmeMiniportFirmware(Call& call);
DWORD getCacheInformation(Call& call);
DWORD setCacheInformation(Call& call);

class StorageStack {
 public:
  explicit StorageStack(Machine& machine);
  // The disks in the order of the description (the interface order).
  const std::vector<std::shared_ptr<Disk>>& disks() const { return disks_; }
  // "\\.\PHYSICALDRIVEn" or an interface path, case ignored; null: none.
  std::shared_ptr<Disk> find(const std::u16string& path) const;
  // The storage ports in the order of the description's "controllers".
  const std::vector<std::shared_ptr<StoragePort>>& ports() const { return ports_; }
  // "\\.\ScsiN:" or a port's interface path, case ignored; null: none.
  std::shared_ptr<StoragePort> findPort(const std::u16string& path) const;
  // Tells the stacks of machines loaded one after the other apart.
  unsigned long long generation() const { return generation_; }

 private:
  std::vector<std::shared_ptr<Disk>> disks_;
  std::vector<std::shared_ptr<StoragePort>> ports_;
  unsigned long long generation_;
};

}  // namespace winsim
