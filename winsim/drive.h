// Virtual drives of the simulated machine. A drive is made from its record
// in the machine description (its keys are listed under "Drives" in
// winsim/machines/README.md) and keeps that record, so that state a real
// drive keeps across a reset can be written back to it. Each bus has its
// own class in its own file:
//   drive_ata.*  ATA drives ("sata" on an AHCI port, "sat" behind a SAS
//                adapter's SCSI-ATA translation)
//   drive_sas.*  SAS drives
//   drive_nvme.* NVMe controllers
// Drives on the phys of a RAID controller (storage_port.*) are made the same
// way from their records in the controller's description.
// The storage stack (storage.cpp) reaches a drive through the command set it
// speaks natively; SCSI commands to an ATA drive go through the translation
// in sat.*.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/document.h>

namespace winsim {

class Machine;
class AtaDrive;
class ScsiTarget;
class NvmeDrive;

// How the host set up the data of a command.
enum class DataPhase { none, in, out };

// One ATA command as the drive sees it, and its answer.
struct AtaIo {
  // Sent: features, count, LBA, device and command; a 48-bit command (ext)
  // carries 16-bit features and count and a 48-bit LBA.
  uint16_t features = 0;
  uint16_t count = 0;
  uint64_t lba = 0;
  uint8_t device = 0;
  uint8_t command = 0;
  bool ext = false;
  DataPhase phase = DataPhase::none;
  uint8_t* data = nullptr;
  uint32_t length = 0;
  // Answered: error and status, with count, LBA and device as the drive
  // leaves them.
  uint8_t error = 0;
  uint8_t status = 0;
  uint32_t transferred = 0;
};

// One SCSI command and its answer.
struct ScsiIo {
  const uint8_t* cdb = nullptr;
  uint8_t cdbLength = 0;
  DataPhase phase = DataPhase::none;
  uint8_t* data = nullptr;
  uint32_t length = 0;
  uint8_t status = 0;  // 0 good, 2 check condition, 8 busy
  std::vector<uint8_t> sense;
  uint32_t transferred = 0;
};

class Drive {
 public:
  Drive(Machine& machine, rapidjson::Value& record, uint32_t number);
  virtual ~Drive() = default;
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // The command set the drive speaks natively (one of them is not null).
  virtual AtaDrive* ata() { return nullptr; }
  virtual ScsiTarget* scsi() { return nullptr; }
  virtual NvmeDrive* nvme() { return nullptr; }

  // A command that never reached the drive whole (the transport failed): a
  // download in progress is incomplete and dropped.
  virtual void abandonDownload() {}

  uint32_t number() const { return number_; }
  Machine& machine() { return machine_; }
  const std::string& bus() const { return bus_; }

  // Identity texts and geometry from the record.
  std::string model() const { return text("model", defaultModel_.c_str()); }
  // A RAID member's default model names an NVMe drive, as its controller lists it.
  void setDefaultModel(const std::string& model) { defaultModel_ = model; }
  std::string serial() const { return text("serial", "VD0000000000"); }
  std::string firmware() const { return text("firmware", "REV00001"); }
  std::string vendor() const { return text("vendor", "VIRTUAL"); }
  uint64_t sectors() const { return number64("sectors", 1953525168); }
  uint32_t sectorSize() const { return static_cast<uint32_t>(number64("sectorSize", 512)); }
  bool rotational() const { return flag("rotational", false); }
  // The world wide name (NAA 5): the record's "wwn" (hex), else one made
  // from the serial number.
  uint64_t worldWideName() const;

  // Record access; a missing or mistyped key gives the fallback.
  std::string text(const char* key, const char* fallback) const;
  uint64_t number64(const char* key, uint64_t fallback) const;
  bool flag(const char* key, bool fallback) const;
  const rapidjson::Value* member(const char* key) const;
  rapidjson::Value& record() { return record_; }
  // Writes a text into the record and the machine file.
  void keep(const char* key, const std::string& value);
  void keepNumber(const char* key, uint64_t value);
  // Removes a key from the record and the machine file.
  void forget(const char* key);

 private:
  Machine& machine_;
  rapidjson::Value& record_;
  uint32_t number_;
  std::string bus_;
  std::string defaultModel_ = "VIRTUAL DRIVE";
};

// The drive a record describes, by its bus; null for an unknown bus.
std::unique_ptr<Drive> makeDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

// A text field padded with blanks (or cut) to length characters.
std::string padded(const std::string& text, size_t length);

}  // namespace winsim
