// A SATA drive: the ATA command set as the drive itself answers it.
#pragma once

#include <array>

#include "winsim/drive.h"

namespace winsim {

// ATA status and error bits.
constexpr uint8_t ATA_STATUS_ERR = 0x01;
constexpr uint8_t ATA_STATUS_GOOD = 0x50;  // drive ready, seek complete
constexpr uint8_t ATA_ERROR_ABRT = 0x04;

class AtaDrive : public Drive {
 public:
  using Drive::Drive;
  AtaDrive* ata() override { return this; }

  // Runs one command; injected faults of kind "ata" answer in its place.
  void execute(AtaIo& io);
  // The 512 bytes of IDENTIFY DEVICE data.
  std::array<uint8_t, 512> identify() const;

 private:
  void abort(AtaIo& io);
  void identifyDevice(AtaIo& io);
  void readLog(AtaIo& io);
};

std::unique_ptr<Drive> makeAtaDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

}  // namespace winsim
