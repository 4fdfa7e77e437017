#include "winsim/drive_ata.h"

#include <cstring>

#include "winsim/faults.h"
#include "winsim/machine.h"

namespace winsim {
namespace {

constexpr uint8_t IDENTIFY_DEVICE = 0xEC;
constexpr uint8_t CHECK_POWER_MODE = 0xE5;
constexpr uint8_t READ_LOG_EXT = 0x2F;
constexpr uint8_t READ_LOG_DMA_EXT = 0x47;
constexpr uint32_t SECTOR = 512;

// An ATA string: two characters a word, the first in the high byte.
void putString(std::array<uint8_t, 512>& data, unsigned word, const std::string& text,
               size_t length) {
  std::string field = padded(text, length);
  for (size_t i = 0; i < length; i += 2) {
    data[word * 2 + i] = static_cast<uint8_t>(field[i + 1]);
    data[word * 2 + i + 1] = static_cast<uint8_t>(field[i]);
  }
}

void putWord(std::array<uint8_t, 512>& data, unsigned word, uint16_t value) {
  data[word * 2] = static_cast<uint8_t>(value);
  data[word * 2 + 1] = static_cast<uint8_t>(value >> 8);
}

// Moves what the drive sends into the host's buffer, when the host set up a
// data-in transfer large enough for it.
bool sendData(AtaIo& io, const uint8_t* bytes, uint32_t length) {
  if (io.phase != DataPhase::in || !io.data || io.length < length) return false;
  std::memcpy(io.data, bytes, length);
  io.transferred = length;
  return true;
}

}  // namespace

std::unique_ptr<Drive> makeAtaDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  return std::make_unique<AtaDrive>(machine, record, number);
}

void AtaDrive::execute(AtaIo& io) {
  io.transferred = 0;
  FaultRequest request("ata");
  request.code = io.command;
  request.drive = static_cast<int>(number());
  request.detailKey = "feature";
  request.detail = io.features & 0xFF;
  if (const rapidjson::Value* fault = machine().part<Faults>().take(request)) {
    io.status = static_cast<uint8_t>(faultNumber(*fault, "status", ATA_STATUS_GOOD | ATA_STATUS_ERR));
    io.error = static_cast<uint8_t>(faultNumber(*fault, "error", ATA_ERROR_ABRT));
    return;
  }
  io.status = ATA_STATUS_GOOD;
  io.error = 0;
  switch (io.command) {
    case IDENTIFY_DEVICE:
      identifyDevice(io);
      break;
    case CHECK_POWER_MODE:
      io.count = 0xFF;  // active or idle
      break;
    case READ_LOG_EXT:
    case READ_LOG_DMA_EXT:
      readLog(io);
      break;
    default:
      abort(io);
  }
}

void AtaDrive::abort(AtaIo& io) {
  io.status = ATA_STATUS_GOOD | ATA_STATUS_ERR;
  io.error = ATA_ERROR_ABRT;
  io.transferred = 0;
}

void AtaDrive::identifyDevice(AtaIo& io) {
  std::array<uint8_t, 512> data = identify();
  if (!sendData(io, data.data(), SECTOR)) abort(io);
}

void AtaDrive::readLog(AtaIo& io) {
  uint8_t address = static_cast<uint8_t>(io.lba);
  uint16_t page = static_cast<uint16_t>(((io.lba >> 8) & 0xFF) | ((io.lba >> 32) & 0xFF00));
  // Only the log directory is kept: one page, version 1, no other logs.
  if (address != 0 || page != 0 || io.count != 1) return abort(io);
  uint8_t directory[SECTOR] = {0x01, 0x00};
  if (!sendData(io, directory, SECTOR)) abort(io);
}

std::array<uint8_t, 512> AtaDrive::identify() const {
  std::array<uint8_t, 512> data{};
  uint64_t capacity = sectors();
  uint64_t capacity28 = capacity < 0x0FFFFFFF ? capacity : 0x0FFFFFFF;
  putWord(data, 0, 0x0040);
  putWord(data, 1, 16383);
  putWord(data, 3, 16);
  putWord(data, 6, 63);
  putString(data, 10, serial(), 20);
  putString(data, 23, firmware(), 8);
  putString(data, 27, model(), 40);
  putWord(data, 47, 0x8010);
  putWord(data, 49, 0x2F00);  // LBA, DMA, IORDY, standby timer
  putWord(data, 50, 0x4000);
  putWord(data, 53, 0x0007);
  putWord(data, 60, static_cast<uint16_t>(capacity28));
  putWord(data, 61, static_cast<uint16_t>(capacity28 >> 16));
  putWord(data, 63, 0x0007);
  putWord(data, 64, 0x0003);
  putWord(data, 75, 0x001F);
  putWord(data, 76, 0x010E);  // SATA 1.5, 3 and 6 Gb/s, native command queuing
  putWord(data, 80, 0x07F0);  // ATA/ATAPI-4 to ACS-3
  putWord(data, 82, 0x406B);  // SMART, security, power management, write cache, look-ahead
  putWord(data, 83, 0x7400);  // 48-bit addresses, FLUSH CACHE (EXT)
  putWord(data, 84, 0x4023);  // SMART error log and self-test, general purpose logging
  putWord(data, 85, 0x4069);
  putWord(data, 86, 0xB400);
  putWord(data, 87, 0x4023);
  putWord(data, 88, 0x407F);
  for (unsigned i = 0; i < 4; ++i) putWord(data, 100 + i, static_cast<uint16_t>(capacity >> (16 * i)));
  uint32_t sectorSize = this->sectorSize();
  putWord(data, 106, sectorSize == 512 ? 0x4000 : 0x5000);
  uint64_t wwn = worldWideName();
  for (unsigned i = 0; i < 4; ++i) putWord(data, 108 + i, static_cast<uint16_t>(wwn >> (48 - 16 * i)));
  if (sectorSize != 512) {
    putWord(data, 117, static_cast<uint16_t>(sectorSize / 2));
    putWord(data, 118, static_cast<uint16_t>((sectorSize / 2) >> 16));
  }
  putWord(data, 119, 0x4000);
  putWord(data, 120, 0x4000);
  putWord(data, 217, rotational() ? 7200 : 1);
  putWord(data, 222, 0x107F);
  // Integrity word: signature A5h and the byte that makes the sum 0.
  data[510] = 0xA5;
  uint8_t sum = 0;
  for (unsigned i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  data[511] = static_cast<uint8_t>(-sum);
  return data;
}

}  // namespace winsim
