// Storage ports of the simulated machine: the machine description's
// "controllers", listed by SetupDi on the storage-port interface class and
// opened as "\\.\ScsiN:" or by their interface path. A port of the "csmi"
// kind is a RAID controller whose driver answers CSMI requests through
// IOCTL_SCSI_MINIPORT: drives on its phys (SATA drives reached with STP
// pass-through, others only listed) and the members of its RAID sets (NVMe
// members are virtual NVMe controllers reached with the RAID driver's NVMe
// pass-through), and NVMe drives outside every set that the driver presents
// as disks of their own (listed among the machine's disks, reached with the
// same pass-through by their target numbers).
// Any other port knows no miniport requests. Every port describes its
// adapter.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "winsim/drive.h"
#include "winsim/win32.h"

namespace winsim {

struct StorageRequest;

// The set index of a CSMI RAID configuration request (a miniport request's
// buffer), -1 for any other request; faults may name the set they fail.
long long raidSetOf(const uint8_t* request, size_t length);

class StoragePort {
 public:
  // nextDiskNumber: the device number a disk the driver presents takes by
  // default; counted on past each.
  StoragePort(Machine& machine, rapidjson::Value& record, uint32_t index, uint32_t* nextDiskNumber);

  uint32_t index() const { return index_; }
  const std::string& name() const { return name_; }  // "Scsi0:"
  const std::u16string& path() const { return path_; }
  bool csmi() const { return csmi_; }

  // One DeviceIoControl call; answers the Windows error.
  DWORD answer(DWORD controlCode, const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize,
               DWORD* returned, StorageRequest& trace);
  // A request that never reached the controller whole: a download to its
  // target is incomplete.
  void lost(const uint8_t* in, DWORD inSize);

  // The drive on a phy, or null.
  Drive* driveOnPhy(uint32_t phy) const;
  // Every drive on the phys.
  std::vector<Drive*> drives() const;

  // An NVMe drive outside every RAID set that the driver presents as a disk.
  struct OwnDisk {
    uint8_t target;
    std::shared_ptr<Drive> drive;
  };
  std::vector<OwnDisk> ownDisks() const;

 private:
  struct Phy {
    uint32_t index = 0;
    std::unique_ptr<Drive> drive;
    std::array<uint8_t, 8> sasAddress{};
  };
  struct RaidMember {
    std::shared_ptr<Drive> record;  // model, serial, firmware (kept across runs)
    std::array<uint8_t, 8> sasAddress{};
    uint8_t status = 0;
    std::vector<uint8_t> image;  // received by firmware downloads
  };

  uint32_t miniport(const uint8_t* header, std::vector<uint8_t>& buffer, StorageRequest& trace);
  uint32_t driverInfo(std::vector<uint8_t>& buffer);
  uint32_t raidInfo(std::vector<uint8_t>& buffer);
  uint32_t raidConfig(std::vector<uint8_t>& buffer);
  uint32_t phyInfo(std::vector<uint8_t>& buffer);
  uint32_t stpPassThrough(std::vector<uint8_t>& buffer, StorageRequest& trace);
  uint32_t firmwareRequest(std::vector<uint8_t>& buffer, StorageRequest& trace);
  uint32_t nvmePassThrough(std::vector<uint8_t>& buffer, StorageRequest& trace);
  // The RAID member, or else the disk, the driver names by this target number.
  RaidMember* member(uint8_t target);
  const Phy* phyOf(const std::vector<uint8_t>& buffer) const;
  uint32_t maxDrivesPerSet() const;

  Machine& machine_;
  uint32_t index_;
  std::string name_;
  std::u16string path_;
  bool csmi_ = false;
  // What a port that is no CSMI controller answers IOCTL_SCSI_MINIPORT with.
  DWORD miniportError_ = ERROR_INVALID_FUNCTION;
  uint32_t phyCount_ = 0;
  std::vector<Phy> phys_;
  std::vector<std::vector<RaidMember>> raidSets_;
  // The disks outside every set, each named by its target number alone
  // (byte 3 of an address that is otherwise 0).
  std::vector<RaidMember> ownDisks_;
  uint32_t maxDrivesPerSet_ = 0;
  uint32_t maxTransfer_ = 0;
  uint32_t maxPages_ = 0;
};

}  // namespace winsim
