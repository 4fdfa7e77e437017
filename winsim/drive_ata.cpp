#include "winsim/drive_ata.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "winsim/faults.h"
#include "winsim/machine.h"
#include "winsim/storage.h"
#include "winsim/winsim_test.h"

namespace winsim {
namespace {

constexpr uint8_t IDENTIFY_DEVICE = 0xEC;
constexpr uint8_t CHECK_POWER_MODE = 0xE5;
constexpr uint8_t READ_LOG_EXT = 0x2F;
constexpr uint8_t READ_LOG_DMA_EXT = 0x47;
constexpr uint8_t STANDBY_IMMEDIATE = 0xE0;
constexpr uint8_t IDLE_IMMEDIATE = 0xE1;
constexpr uint8_t DOWNLOAD_MICROCODE = 0x92;
constexpr uint8_t DOWNLOAD_MICROCODE_DMA = 0x93;
constexpr uint32_t SECTOR = 512;

// DOWNLOAD MICROCODE subcommands (the features register).
constexpr uint8_t DM_SEGMENTED = 0x03;  // with offsets, activated when whole
constexpr uint8_t DM_WHOLE = 0x07;      // one command, activated at once
constexpr uint8_t DM_DEFERRED = 0x0E;   // with offsets, saved for activation
constexpr uint8_t DM_ACTIVATE = 0x0F;   // activates the saved image

constexpr size_t IMAGE_HEADER = 16;  // the mark and the revision

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

bool isMicrocode(uint8_t command) {
  return command == DOWNLOAD_MICROCODE || command == DOWNLOAD_MICROCODE_DMA;
}

// A limit of IDENTIFY words 234 and 235: 0 and FFFFh report none.
bool reported(uint16_t limit) { return limit != 0 && limit != 0xFFFF; }

// The block count of DOWNLOAD MICROCODE: count (7:0) and LBA low (15:8);
// the offset of a segment: LBA mid and high, in blocks.
uint16_t blockCount(const AtaIo& io) {
  return static_cast<uint16_t>((io.count & 0xFF) | (io.lba & 0xFF) << 8);
}
uint16_t blockOffset(const AtaIo& io) { return static_cast<uint16_t>(io.lba >> 8); }

bool hasMark(const uint8_t* bytes, size_t length) {
  return length >= IMAGE_HEADER &&
         std::memcmp(bytes, FIRMWARE_IMAGE_MARK, sizeof FIRMWARE_IMAGE_MARK - 1) == 0;
}

std::string imageRevision(const std::vector<uint8_t>& image) {
  std::string revision(image.begin() + 8, image.begin() + IMAGE_HEADER);
  while (!revision.empty() && (revision.back() == ' ' || revision.back() == '\0')) revision.pop_back();
  return revision;
}

}  // namespace

std::unique_ptr<Drive> makeAtaDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  return std::make_unique<AtaDrive>(machine, record, number);
}

void AtaDrive::execute(AtaIo& io) {
  io.transferred = 0;
  if (transfer_ && !continuesTransfer(io)) finishTransfer();
  FaultRequest request("ata");
  request.code = io.command;
  request.drive = static_cast<int>(number());
  request.detailKey = "feature";
  request.detail = io.features & 0xFF;
  if (const rapidjson::Value* fault = machine().part<Faults>().take(request)) {
    // A failed segment leaves the download incomplete.
    if (isMicrocode(io.command)) abandonDownload();
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
      io.count = standby_ ? 0x00 : 0xFF;  // standby, or active or idle
      break;
    case STANDBY_IMMEDIATE:
      standby_ = true;
      break;
    case IDLE_IMMEDIATE:
      standby_ = false;
      break;
    case DOWNLOAD_MICROCODE:
    case DOWNLOAD_MICROCODE_DMA:
      downloadMicrocode(io);
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

bool AtaDrive::continuesTransfer(const AtaIo& io) const {
  return isMicrocode(io.command) && (io.features & 0xFF) == transfer_->mode && blockOffset(io) != 0;
}

void AtaDrive::finishTransfer() {
  Transfer done = std::move(*transfer_);
  transfer_.reset();
  if (done.mode == DM_SEGMENTED) return activate(done.bytes);
  pending_ = done.bytes;
  if (keepsImage()) received_ = std::move(done.bytes);
  keep("pendingFirmware", imageRevision(pending_));
}

void AtaDrive::activate(const std::vector<uint8_t>& image) {
  if (keepsImage()) received_ = image;
  pending_.clear();
  forget("pendingFirmware");
  keep("firmware", imageRevision(image));
}

void AtaDrive::downloadMicrocode(AtaIo& io) {
  uint8_t mode = static_cast<uint8_t>(io.features);
  uint16_t blocks = blockCount(io);
  if (!microcodeSupported() || (io.command == DOWNLOAD_MICROCODE_DMA && !microcodeDmaSupported()))
    return abort(io);
  if (mode == DM_ACTIVATE) {
    // The saved image, or only its revision when it was saved by an earlier run.
    std::string revision = text("pendingFirmware", "");
    if (revision.empty()) return abort(io);
    std::vector<uint8_t> image = pending_;
    if (image.empty()) {
      image.assign(IMAGE_HEADER, ' ');
      std::memcpy(image.data(), FIRMWARE_IMAGE_MARK, 8);
      std::memcpy(image.data() + 8, revision.data(), std::min<size_t>(revision.size(), 8));
    }
    return activate(image);
  }
  if (blocks == 0 || io.phase != DataPhase::out || !io.data ||
      io.length != static_cast<uint32_t>(blocks) * SECTOR)
    return abort(io);
  if (mode == DM_WHOLE) {
    if (!hasMark(io.data, io.length)) return abort(io);
    io.transferred = io.length;
    return activate(std::vector<uint8_t>(io.data, io.data + io.length));
  }
  if ((mode != DM_SEGMENTED && mode != DM_DEFERRED) || !segmentedSupported()) return abort(io);
  downloadSegment(io, mode, blocks);
}

void AtaDrive::downloadSegment(AtaIo& io, uint8_t mode, uint16_t blocks) {
  if (reported(maximumSegment()) && blocks > maximumSegment()) {
    transfer_.reset();
    return abort(io);
  }
  if (blockOffset(io) == 0) {
    // A new image: it must carry the mark.
    if (!hasMark(io.data, io.length)) return abort(io);
    transfer_ = Transfer{};
    transfer_->mode = mode;
  } else if (!transfer_ || transfer_->shortSegmentSeen ||
             blockOffset(io) != transfer_->length / SECTOR) {
    // Out of order, or after the short last segment: the download is lost.
    transfer_.reset();
    return abort(io);
  }
  if (reported(minimumSegment()) && blocks < minimumSegment()) transfer_->shortSegmentSeen = true;
  // The first segment carries the mark and the revision.
  if (keepsImage() || transfer_->bytes.empty())
    transfer_->bytes.insert(transfer_->bytes.end(), io.data, io.data + io.length);
  transfer_->length += io.length;
  io.transferred = io.length;
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
  if (microcodeDmaSupported()) putWord(data, 69, 0x0100);
  putWord(data, 75, 0x001F);
  putWord(data, 76, 0x010E);  // SATA 1.5, 3 and 6 Gb/s, native command queuing
  putWord(data, 80, 0x07F0);  // ATA/ATAPI-4 to ACS-3
  putWord(data, 82, 0x406B);  // SMART, security, power management, write cache, look-ahead
  uint16_t microcode = microcodeSupported() ? 0x0001 : 0;
  putWord(data, 83, 0x7400 | microcode);  // 48-bit addresses, FLUSH CACHE (EXT)
  putWord(data, 84, 0x4023);  // SMART error log and self-test, general purpose logging
  putWord(data, 85, 0x4069);
  putWord(data, 86, 0xB400 | microcode);
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
  uint16_t segmented = segmentedSupported() ? 0x0010 : 0;
  putWord(data, 119, 0x4000 | segmented);
  putWord(data, 120, 0x4000 | segmented);
  putWord(data, 217, rotational() ? 7200 : 1);
  putWord(data, 222, 0x107F);
  putWord(data, 234, minimumSegment());
  putWord(data, 235, maximumSegment());
  // Words the record sets itself, by decimal word number.
  const rapidjson::Value* words = member("identifyWords");
  if (words && words->IsObject()) {
    for (const auto& word : words->GetObject()) {
      unsigned long index = std::strtoul(word.name.GetString(), nullptr, 10);
      if (index < 255 && word.value.IsUint())
        putWord(data, static_cast<unsigned>(index), static_cast<uint16_t>(word.value.GetUint()));
    }
  }
  // Integrity word: signature A5h and the byte that makes the sum 0.
  data[510] = 0xA5;
  uint8_t sum = 0;
  for (unsigned i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  data[511] = static_cast<uint8_t>(-sum);
  return data;
}

std::vector<uint8_t> receivedFirmwareImage(uint32_t deviceNumber) {
  StorageStack& stack = Machine::current().part<StorageStack>();
  for (const auto& disk : stack.disks())
    if (disk->number == deviceNumber && disk->drive->ata()) return disk->drive->ata()->receivedImage();
  for (const auto& port : stack.ports())
    for (Drive* drive : port->drives())
      if (drive->number() == deviceNumber && drive->ata()) return drive->ata()->receivedImage();
  return {};
}

}  // namespace winsim
