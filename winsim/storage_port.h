// Storage ports of the simulated machine: the machine description's
// "controllers", listed by SetupDi on the storage-port interface class and
// opened as "\\.\ScsiN:" or by their interface path. A port of the "csmi"
// kind is a RAID controller whose driver answers CSMI requests through
// IOCTL_SCSI_MINIPORT: drives on its phys (SATA drives reached with STP
// pass-through, others only listed) and the members of its RAID sets (NVMe
// members are virtual NVMe controllers reached with the RAID driver's NVMe
// pass-through).
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
  StoragePort(Machine& machine, rapidjson::Value& record, uint32_t index);

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

 private:
  struct Phy {
    uint32_t index = 0;
    std::unique_ptr<Drive> drive;
    std::array<uint8_t, 8> sasAddress{};
  };
  struct RaidMember {
    std::unique_ptr<Drive> record;  // model, serial, firmware (kept across runs)
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
  RaidMember* member(uint8_t target);
  const Phy* phyOf(const std::vector<uint8_t>& buffer) const;
  uint32_t maxDrivesPerSet() const;

  Machine& machine_;
  uint32_t index_;
  std::string name_;
  std::u16string path_;
  bool csmi_ = false;
  uint32_t phyCount_ = 0;
  std::vector<Phy> phys_;
  std::vector<std::vector<RaidMember>> raidSets_;
  uint32_t maxDrivesPerSet_ = 0;
  uint32_t maxTransfer_ = 0;
  uint32_t maxPages_ = 0;
};

}  // namespace winsim
