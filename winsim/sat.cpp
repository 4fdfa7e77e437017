#include "winsim/sat.h"

#include <cstring>

namespace winsim {
namespace {

constexpr uint8_t ATA_PASS_THROUGH_12 = 0xA1;
constexpr uint8_t ATA_PASS_THROUGH_16 = 0x85;

// ATA PASS-THROUGH protocols.
constexpr uint8_t NON_DATA = 3;
constexpr uint8_t PIO_DATA_IN = 4;
constexpr uint8_t PIO_DATA_OUT = 5;
constexpr uint8_t DMA = 6;
constexpr uint8_t UDMA_DATA_IN = 10;
constexpr uint8_t UDMA_DATA_OUT = 11;
constexpr uint8_t RETURN_RESPONSE_INFORMATION = 15;

// Descriptor-format sense with the ATA status return descriptor: how a
// translation hands the drive's registers back.
std::vector<uint8_t> registerSense(uint8_t key, const AtaIo& io) {
  std::vector<uint8_t> sense(8 + 14, 0);
  sense[0] = 0x72;
  sense[1] = key;
  sense[2] = static_cast<uint8_t>(ASC_ATA_INFORMATION_AVAILABLE >> 8);
  sense[3] = static_cast<uint8_t>(ASC_ATA_INFORMATION_AVAILABLE);
  sense[7] = 14;
  uint8_t* d = sense.data() + 8;
  d[0] = 0x09;
  d[1] = 0x0C;
  d[2] = io.ext ? 0x01 : 0x00;
  d[3] = io.error;
  d[4] = static_cast<uint8_t>(io.count >> 8);
  d[5] = static_cast<uint8_t>(io.count);
  d[6] = static_cast<uint8_t>(io.lba >> 24);
  d[7] = static_cast<uint8_t>(io.lba);
  d[8] = static_cast<uint8_t>(io.lba >> 32);
  d[9] = static_cast<uint8_t>(io.lba >> 8);
  d[10] = static_cast<uint8_t>(io.lba >> 40);
  d[11] = static_cast<uint8_t>(io.lba >> 16);
  d[12] = io.device;
  d[13] = io.status;
  return sense;
}

}  // namespace

SatTranslation::SatTranslation(AtaDrive& drive) : ScsiTarget(drive), ata_(drive) {}

std::string SatTranslation::identifyText(unsigned word, unsigned length) const {
  std::array<uint8_t, 512> data = ata_.identify();
  std::string text(length, ' ');
  for (unsigned i = 0; i < length; i += 2) {
    text[i] = static_cast<char>(data[word * 2 + i + 1]);
    text[i + 1] = static_cast<char>(data[word * 2 + i]);
  }
  return text;
}

std::string SatTranslation::productId() const { return identifyText(27, 40).substr(0, 16); }

std::string SatTranslation::revision() const {
  std::string firmware = identifyText(23, 8);
  std::string last = firmware.substr(4, 4);
  return last == "    " ? firmware.substr(0, 4) : last;
}

std::string SatTranslation::unitSerial() const { return identifyText(10, 20); }

std::vector<std::vector<uint8_t>> SatTranslation::designators() const {
  std::string vendorSpecific = "ATA     " + identifyText(27, 40) + identifyText(10, 20);
  std::array<uint8_t, 512> data = ata_.identify();
  std::vector<uint8_t> name;
  for (unsigned word = 108; word < 112; ++word) {
    name.push_back(data[word * 2 + 1]);
    name.push_back(data[word * 2]);
  }
  return {
      designator(0x02, 0x01, std::vector<uint8_t>(vendorSpecific.begin(), vendorSpecific.end())),
      designator(0x01, 0x03, name),
  };
}

std::vector<uint8_t> SatTranslation::extraPage(uint8_t page) const {
  if (page != 0x89) return {};
  std::vector<uint8_t> data(572, 0);
  data[1] = 0x89;
  data[2] = static_cast<uint8_t>((data.size() - 4) >> 8);
  data[3] = static_cast<uint8_t>(data.size() - 4);
  std::string identity = padded("WINSIM", 8) + padded("SAT", 16) + padded("1.0", 4);
  std::memcpy(data.data() + 8, identity.data(), identity.size());
  data[36] = 0x34;  // the drive's signature, as its first register FIS
  data[38] = 0x50;
  data[40] = 0x01;
  data[48] = 0x01;
  data[56] = 0xEC;
  std::array<uint8_t, 512> identify = ata_.identify();
  std::memcpy(data.data() + 60, identify.data(), identify.size());
  return data;
}

void SatTranslation::faulted(const ScsiIo& io) {
  if (io.cdb[0] == ATA_PASS_THROUGH_16 || io.cdb[0] == ATA_PASS_THROUGH_12) ata_.abandonDownload();
}

bool SatTranslation::command(ScsiIo& io) {
  if (io.cdb[0] == ATA_PASS_THROUGH_16) {
    passThrough(io, true);
    return true;
  }
  if (io.cdb[0] == ATA_PASS_THROUGH_12) {
    passThrough(io, false);
    return true;
  }
  return false;
}

void SatTranslation::passThrough(ScsiIo& io, bool sixteen) {
  const uint8_t* c = io.cdb;
  uint8_t protocol = (c[1] >> 1) & 0x0F;
  bool extend = sixteen && (c[1] & 0x01);
  bool checkCondition = c[2] & 0x20;
  bool fromDevice = c[2] & 0x08;
  bool inBlocks = c[2] & 0x04;
  uint8_t lengthField = c[2] & 0x03;

  AtaIo ata;
  ata.ext = extend;
  if (sixteen) {
    ata.features = static_cast<uint16_t>(c[4] | (extend ? c[3] << 8 : 0));
    ata.count = static_cast<uint16_t>(c[6] | (extend ? c[5] << 8 : 0));
    ata.lba = static_cast<uint64_t>(c[8]) | static_cast<uint64_t>(c[10]) << 8 |
              static_cast<uint64_t>(c[12]) << 16;
    if (extend)
      ata.lba |= static_cast<uint64_t>(c[7]) << 24 | static_cast<uint64_t>(c[9]) << 32 |
                 static_cast<uint64_t>(c[11]) << 40;
    ata.device = c[13];
    ata.command = c[14];
  } else {
    ata.features = c[3];
    ata.count = c[4];
    ata.lba = static_cast<uint64_t>(c[5]) | static_cast<uint64_t>(c[6]) << 8 |
              static_cast<uint64_t>(c[7]) << 16;
    ata.device = c[8];
    ata.command = c[9];
  }

  if (protocol == RETURN_RESPONSE_INFORMATION) {
    io.status = SCSI_STATUS_CHECK_CONDITION;
    ata.status = 0x50;
    io.sense = registerSense(SENSE_RECOVERED_ERROR, ata);
    return;
  }
  bool dataIn = protocol == PIO_DATA_IN || protocol == UDMA_DATA_IN;
  bool dataOut = protocol == PIO_DATA_OUT || protocol == UDMA_DATA_OUT;
  if (protocol == DMA) (fromDevice ? dataIn : dataOut) = true;
  bool known = protocol == NON_DATA || dataIn || dataOut;
  if (!known || (protocol == NON_DATA && lengthField != 0) || (dataIn && !fromDevice) ||
      (dataOut && fromDevice))
    return ScsiTarget::checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);

  // The length is counted in the features or count register, or (3) given
  // by the SCSI request itself.
  uint32_t units = lengthField == 1 ? ata.features : lengthField == 2 ? ata.count : 0;
  uint32_t expected = lengthField == 3 ? io.length : inBlocks ? units * 512 : units;
  ata.phase = expected == 0 ? DataPhase::none : dataIn ? DataPhase::in : DataPhase::out;
  if (expected != 0) {
    if (io.phase != ata.phase || !io.data || io.length < expected)
      return ScsiTarget::checkCondition(io, SENSE_ABORTED_COMMAND, ASC_DATA_PHASE_ERROR);
    ata.data = io.data;
    ata.length = expected;
  }

  ata_.execute(ata);
  io.transferred = ata.transferred;
  if (ata.status & ATA_STATUS_ERR) {
    io.status = SCSI_STATUS_CHECK_CONDITION;
    io.sense = registerSense(SENSE_ABORTED_COMMAND, ata);
  } else if (checkCondition) {
    io.status = SCSI_STATUS_CHECK_CONDITION;
    io.sense = registerSense(SENSE_RECOVERED_ERROR, ata);
  }
}

}  // namespace winsim
