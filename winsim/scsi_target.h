// What every SCSI target of the simulated machine answers alike (a SAS drive
// and the SCSI-ATA translation in front of an ATA drive): injected faults,
// a pending unit attention, TEST UNIT READY, REQUEST SENSE, INQUIRY with its
// vital product data pages and READ CAPACITY (10) and (16). A target adds
// its own commands and pages, may raise a unit attention, and may be
// stopped.
#pragma once

#include <string>
#include <vector>

#include "winsim/drive.h"

namespace winsim {

enum ScsiOperation : uint8_t {
  TEST_UNIT_READY = 0x00,
  REQUEST_SENSE = 0x03,
  INQUIRY = 0x12,
  START_STOP_UNIT = 0x1B,
  SEND_DIAGNOSTIC = 0x1D,
  READ_CAPACITY_10 = 0x25,
  WRITE_BUFFER = 0x3B,
  MODE_SENSE_10 = 0x5A,
  SERVICE_ACTION_IN_16 = 0x9E,
  MAINTENANCE_IN = 0xA3,
};

constexpr uint8_t SCSI_STATUS_GOOD = 0x00;
constexpr uint8_t SCSI_STATUS_CHECK_CONDITION = 0x02;

enum SenseKey : uint8_t {
  SENSE_NO_SENSE = 0x0,
  SENSE_RECOVERED_ERROR = 0x1,
  SENSE_NOT_READY = 0x2,
  SENSE_MEDIUM_ERROR = 0x3,
  SENSE_HARDWARE_ERROR = 0x4,
  SENSE_ILLEGAL_REQUEST = 0x5,
  SENSE_UNIT_ATTENTION = 0x6,
  SENSE_ABORTED_COMMAND = 0xB,
};

// Additional sense codes the targets use (ASC << 8 | ASCQ).
enum AdditionalSense : uint16_t {
  ASC_ATA_INFORMATION_AVAILABLE = 0x001D,
  ASC_INITIALIZING_COMMAND_REQUIRED = 0x0402,
  ASC_INTERNAL_TARGET_FAILURE = 0x4400,
  ASC_INVALID_OPERATION_CODE = 0x2000,
  ASC_INVALID_FIELD_IN_CDB = 0x2400,
  ASC_INVALID_FIELD_IN_PARAMETER_LIST = 0x2600,
  ASC_POWER_ON_RESET = 0x2900,
  ASC_COMMAND_SEQUENCE_ERROR = 0x2C00,
  ASC_MICROCODE_CHANGED = 0x3F01,
  ASC_DATA_PHASE_ERROR = 0x4B00,
};

class ScsiTarget {
 public:
  explicit ScsiTarget(Drive& drive);
  virtual ~ScsiTarget() = default;

  void execute(ScsiIo& io);

  // INQUIRY identity: vendor (8 characters), product (16), revision (4).
  virtual std::string vendorId() const = 0;
  virtual std::string productId() const = 0;
  virtual std::string revision() const = 0;
  // The unit serial number page's text.
  virtual std::string unitSerial() const = 0;
  // Whether the target has the unit serial number page (80h) at all.
  bool hasUnitSerialPage() const;
  // The designators of the device identification page, each whole (4-byte
  // header and identifier).
  virtual std::vector<std::vector<uint8_t>> designators() const = 0;
  // The designators the target reports, in page 83h and to the storage
  // driver's device-identifier query: the drive record's "designators" when
  // it has them, else its own.
  std::vector<std::vector<uint8_t>> reportedDesignators() const;

 protected:
  // Every command that reaches the target, before anything answers it (an
  // injected fault included).
  virtual void received(const ScsiIo&) {}
  // Commands of the target itself; false when it does not know the code.
  virtual bool command(ScsiIo&) { return false; }
  // An injected fault answered the command in the target's place.
  virtual void faulted(const ScsiIo&) {}
  // Pages beyond 00h, 80h and 83h: the codes, and a page's whole bytes.
  virtual std::vector<uint8_t> extraPages() const { return {}; }
  virtual std::vector<uint8_t> extraPage(uint8_t) const { return {}; }
  // An injected fault answered the command in the target's place.
  virtual void faultAnswered(const ScsiIo&) {}
  // A stopped unit is not ready until it is started again.
  virtual bool stopped() const { return false; }
  // The control mode page's D_SENSE: a check condition's sense data comes in
  // descriptor format (REQUEST SENSE still answers in the fixed one its CDB
  // asks for).
  virtual bool descriptorSenseData() const { return false; }

  // The next command other than INQUIRY and REQUEST SENSE gets a unit
  // attention with this additional sense.
  void raiseUnitAttention(uint16_t additionalSense) { attention_ = additionalSense; }

  static void checkCondition(ScsiIo& io, uint8_t key, uint16_t additionalSense);
  // Sends bytes to the host (at most allocationLength); a host that did not
  // set up a data-in transfer gets a data phase error.
  static void sendData(ScsiIo& io, const std::vector<uint8_t>& bytes, uint32_t allocationLength);

  Drive& drive_;

 private:
  void answer(ScsiIo& io);
  void inquiry(ScsiIo& io);
  std::vector<uint8_t> vpdPage(uint8_t page) const;
  void readCapacity10(ScsiIo& io);
  void readCapacity16(ScsiIo& io);
  void requestSense(ScsiIo& io);

  uint16_t attention_;  // the pending unit attention's additional sense; 0: none
};

// A designator of the device identification page.
std::vector<uint8_t> designator(uint8_t protocolAndCodeSet, uint8_t associationAndType,
                                const std::vector<uint8_t>& identifier);
std::vector<uint8_t> bigEndian(uint64_t value, unsigned bytes);
// Bytes written as pairs of hex digits ("0103" is 01h 03h); blanks between
// them are ignored.
std::vector<uint8_t> bytesOfHex(const std::string& text);
// A number of up to four bytes, most significant first.
uint32_t readBigEndian(const uint8_t* bytes, unsigned count);

}  // namespace winsim
