#include "devlib/ata/orvlib_cmd_sata.h"

#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_sata.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {

using VazidaRaduruSataInternal::OrvAtaCmd;

namespace VazidaRaduruSataInternal {
namespace {

constexpr u8 IDENTIFY_DEVICE = 0xEC;
constexpr u8 DOWNLOAD_MICROCODE = 0x92;
constexpr u8 DOWNLOAD_MICROCODE_DMA = 0x93;
constexpr u8 CHECK_POWER_MODE = 0xE5;
constexpr u8 STANDBY_IMMEDIATE = 0xE0;
constexpr u8 IDLE_IMMEDIATE = 0xE1;
constexpr u8 DEVICE_DEFAULT = 0xA0;

constexpr u8 ATA_PASS_THROUGH_12 = 0xA1;
constexpr u8 ATA_PASS_THROUGH_16 = 0x85;
// Byte 2 of an ATA PASS-THROUGH block.
constexpr u8 CHECK_CONDITION = 0x20;  // hand the output registers back
constexpr u8 FROM_DEVICE = 0x08;
constexpr u8 IN_BLOCKS = 0x04;
constexpr u8 LENGTH_IN_REQUEST = 0x03;

constexpr u32 SHORT_TIMEOUT = 30;
constexpr u32 MICROCODE_TIMEOUT = 300;

}  // namespace

OrvAtaCmd::OrvAtaCmd(u8 opcode, _OrvAtaProtocol protocol, bool dataIn, u32 timeoutSeconds,
                     std::string name)
    : OrvBuffer(OSL_ATA_BLOCK_LENGTH, ORV_LITTLE_ENDIAN),
      features(data, OSL_ATA_FEATURES, "Features"),
      count(data, OSL_ATA_COUNT, "Count"),
      lbaLow(data, OSL_ATA_LBA_LOW, "LBA low"),
      lbaMid(data, OSL_ATA_LBA_MID, "LBA mid"),
      lbaHigh(data, OSL_ATA_LBA_HIGH, "LBA high"),
      device(data, OSL_ATA_DEVICE, "Device"),
      command(data, OSL_ATA_COMMAND, "Command"),
      protocol(protocol),
      dataIn(dataIn),
      timeoutSeconds(timeoutSeconds),
      name(std::move(name)) {
  command.setValue(opcode);
  device.setValue(DEVICE_DEFAULT);
}

void OrvAtaCmd::setExtended() { data[OSL_ATA_COMMAND + 1] = data[OSL_ATA_COMMAND]; }

void OrvAtaCmd::setFeatures(u16 value) {
  data[OSL_ATA_FEATURES] = static_cast<u8>(value);
  data[OSL_ATA_FEATURES + 1] = isExtended() ? static_cast<u8>(value >> 8) : 0;
}

void OrvAtaCmd::setCount(u16 value) {
  data[OSL_ATA_COUNT] = static_cast<u8>(value);
  data[OSL_ATA_COUNT + 1] = isExtended() ? static_cast<u8>(value >> 8) : 0;
}

void OrvAtaCmd::setLba(u64 value) {
  const u8 registers[3] = {OSL_ATA_LBA_LOW, OSL_ATA_LBA_MID, OSL_ATA_LBA_HIGH};
  for (unsigned i = 0; i < 3; ++i) {
    data[registers[i]] = static_cast<u8>(value >> (8 * i));
    data[registers[i] + 1] = isExtended() ? static_cast<u8>(value >> (24 + 8 * i)) : 0;
  }
}

std::vector<u8> OrvAtaCmd::passThroughCdb(u32 dataLength) const {
  u8 flags = wantsRegisters() ? CHECK_CONDITION : 0;
  if (dataLength) flags |= IN_BLOCKS | LENGTH_IN_REQUEST | (dataIn ? FROM_DEVICE : 0);
  const u8* r = data;
  if (!isExtended()) {
    return {ATA_PASS_THROUGH_12, static_cast<u8>(protocol << 1), flags,
            r[OSL_ATA_FEATURES], r[OSL_ATA_COUNT], r[OSL_ATA_LBA_LOW], r[OSL_ATA_LBA_MID],
            r[OSL_ATA_LBA_HIGH], r[OSL_ATA_DEVICE], r[OSL_ATA_COMMAND], 0, 0};
  }
  return {ATA_PASS_THROUGH_16,     static_cast<u8>(protocol << 1 | 1), flags,
          r[OSL_ATA_FEATURES + 1], r[OSL_ATA_FEATURES],                r[OSL_ATA_COUNT + 1],
          r[OSL_ATA_COUNT],        r[OSL_ATA_LBA_LOW + 1],             r[OSL_ATA_LBA_LOW],
          r[OSL_ATA_LBA_MID + 1],  r[OSL_ATA_LBA_MID],                 r[OSL_ATA_LBA_HIGH + 1],
          r[OSL_ATA_LBA_HIGH],     r[OSL_ATA_DEVICE],                  r[OSL_ATA_COMMAND],
          0};
}

OrvAtaCmdIdentify::OrvAtaCmdIdentify()
    : OrvAtaCmd(IDENTIFY_DEVICE, ORV_ATA_PIO_DATA_IN, true, SHORT_TIMEOUT, "IDENTIFY DEVICE") {}

u8 OrvAtaCmdIdentify::getErrorCode() const { return ORV_ERR_ATA_IDENTIFY; }

OrvAtaCmdDownloadMicrocode::OrvAtaCmdDownloadMicrocode(u8 subcommand, u16 blocks, u16 blockOffset,
                                                       bool useDma)
    : OrvAtaCmd(useDma ? DOWNLOAD_MICROCODE_DMA : DOWNLOAD_MICROCODE,
                blocks == 0 ? ORV_ATA_NON_DATA : useDma ? ORV_ATA_DMA : ORV_ATA_PIO_DATA_OUT, false,
                MICROCODE_TIMEOUT, useDma ? "DOWNLOAD MICROCODE DMA" : "DOWNLOAD MICROCODE") {
  features.setValue(subcommand);
  // The block count is split over count (7:0) and LBA low (15:8).
  count.setValue(blocks & 0xFF);
  lbaLow.setValue(blocks >> 8);
  lbaMid.setValue(blockOffset & 0xFF);
  lbaHigh.setValue(blockOffset >> 8);
}

u8 OrvAtaCmdDownloadMicrocode::getErrorCode() const {
  return features.getValue() == ORV_DM_ACTIVATE ? ORV_ERR_ATA_ACTIVATION : ORV_ERR_ATA_DOWNLOAD;
}

OrvAtaCmdCheckPowerMode::OrvAtaCmdCheckPowerMode()
    : OrvAtaCmd(CHECK_POWER_MODE, ORV_ATA_NON_DATA, true, SHORT_TIMEOUT, "CHECK POWER MODE") {
  registersWanted = true;
}

u8 OrvAtaCmdCheckPowerMode::getErrorCode() const { return ORV_ERR_ATA_POWER_MODE; }

OrvAtaCmdStandbyImmediate::OrvAtaCmdStandbyImmediate()
    : OrvAtaCmd(STANDBY_IMMEDIATE, ORV_ATA_NON_DATA, true, SHORT_TIMEOUT, "STANDBY IMMEDIATE") {}

u8 OrvAtaCmdStandbyImmediate::getErrorCode() const { return ORV_ERR_ATA_STANDBY; }

OrvAtaCmdIdleImmediate::OrvAtaCmdIdleImmediate()
    : OrvAtaCmd(IDLE_IMMEDIATE, ORV_ATA_NON_DATA, true, SHORT_TIMEOUT, "IDLE IMMEDIATE") {}

u8 OrvAtaCmdIdleImmediate::getErrorCode() const { return ORV_ERR_ATA_IDLE; }

}  // namespace VazidaRaduruSataInternal

constexpr u8 STATUS_RETURN_DESCRIPTOR = 0x09;

// Buses whose senders take the ATA register block itself and answer the
// return registers in its layout: an AHCI port, and a SATA drive behind a
// RAID controller of the CSMI kind.
namespace {
bool takesRegisterBlock(osl_bus_type bus) { return bus == OSL_BUS_SATA || bus == OSL_BUS_CSMI; }
}  // namespace

u64 sendAtaCmd(const OrvAtaHandle& target, OrvAtaCmd& cmd, OrvBuffer& data, u32 timeoutSeconds,
               u8 ignore) {
  if (!target.handle || !target.response || target.response->getLength() < OSL_ATA_BLOCK_LENGTH)
    return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  bool translated = target.busType == OSL_BUS_SAS;
  if (!translated && !takesRegisterBlock(target.busType))
    return ORV_LIB_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  target.response->resetZero();

  u32 dataLength = data.getLength();
  std::vector<u8> block(cmd.getBuffer(), cmd.getBuffer() + OSL_ATA_BLOCK_LENGTH);
  if (translated) block = cmd.passThroughCdb(dataLength);
  _osl_dev_cmd request = {};
  request.command = block.data();
  request.commandLength = static_cast<u8>(block.size());
  // A command without data is sent as one from the drive: no data-out phase.
  request.direction = cmd.isDataIn() || dataLength == 0 ? 1 : 0;
  request.data = dataLength ? data.getBuffer() : nullptr;
  request.dataLength = dataLength;
  request.response = target.response->getBuffer();
  u32 responseLength = target.response->getLength();
  request.responseLength = static_cast<u16>(responseLength > 0xFFFF ? 0xFFFF : responseLength);
  request.timeoutSeconds = timeoutSeconds ? timeoutSeconds : cmd.getTimeout();
  request.ignoreError = ignore ? 1 : 0;

  u64 status = osl_send_command(target.handle, &request, target.busType,
                                translated ? OSL_CMD_ATA_IN_SCSI : OSL_CMD_ATA);
  if (status == 0 || orv_status_code(status) != ORV_ERR_GENERIC) return status;
  u8 code = cmd.getErrorCode();
  return code == ORV_ERR_GENERIC ? status : ORV_LIB_STATUS(code);
}

u64 ataIdentify(const OrvAtaHandle& target, OrvBuffer& data, u32 timeoutSeconds, u8 ignore) {
  if (data.getLength() < ORV_ATA_BLOCK) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdIdentify cmd;
    OrvSubBuffer block(data, 0, ORV_ATA_BLOCK);
    return sendAtaCmd(target, cmd, block, timeoutSeconds, ignore);
  });
}

u64 ataDownloadMicrocode(const OrvAtaHandle& target, u8 subcommand, OrvBuffer& data, u16 blockOffset,
                         bool useDma, u32 timeoutSeconds, u8 ignore) {
  u32 length = data.getLength();
  if (length == 0 || length % ORV_ATA_BLOCK != 0 || length / ORV_ATA_BLOCK > 0xFFFF)
    return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdDownloadMicrocode cmd(
        subcommand, static_cast<u16>(length / ORV_ATA_BLOCK), blockOffset, useDma);
    return sendAtaCmd(target, cmd, data, timeoutSeconds, ignore);
  });
}

u64 ataActivateMicrocode(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdDownloadMicrocode cmd(ORV_DM_ACTIVATE, 0, 0, false);
    OrvBuffer none;
    return sendAtaCmd(target, cmd, none, timeoutSeconds, ignore);
  });
}

u64 ataCheckPowerMode(const OrvAtaHandle& target, u8& count, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdCheckPowerMode cmd;
    OrvBuffer none;
    u64 status = sendAtaCmd(target, cmd, none, timeoutSeconds, ignore);
    u8 registers[OSL_ATA_BLOCK_LENGTH];
    if (status == 0 && !ataOutputRegisters(target, registers))
      status = ORV_LIB_STATUS(ORV_ERR_ATA_POWER_MODE);
    if (status == 0) count = registers[OSL_ATA_COUNT];
    return status;
  });
}

u64 ataStandbyImmediate(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdStandbyImmediate cmd;
    OrvBuffer none;
    return sendAtaCmd(target, cmd, none, timeoutSeconds, ignore);
  });
}

u64 ataIdleImmediate(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    VazidaRaduruSataInternal::OrvAtaCmdIdleImmediate cmd;
    OrvBuffer none;
    return sendAtaCmd(target, cmd, none, timeoutSeconds, ignore);
  });
}

bool ataOutputRegisters(const OrvAtaHandle& target, u8 registers[16]) {
  std::memset(registers, 0, OSL_ATA_BLOCK_LENGTH);
  if (!target.response) return false;
  const u8* r = target.response->getBuffer();
  u32 length = target.response->getLength();
  if (takesRegisterBlock(target.busType)) {
    if (length < OSL_ATA_BLOCK_LENGTH) return false;
    std::memcpy(registers, r, OSL_ATA_BLOCK_LENGTH);
    return true;
  }
  // Descriptor-format sense: walk the descriptors for the ATA status return.
  if (length < 8 || ((r[0] & 0x7F) != 0x72 && (r[0] & 0x7F) != 0x73)) return false;
  u32 end = 8u + r[7] < length ? 8u + r[7] : length;
  for (u32 at = 8; at + 2 <= end; at += 2u + r[at + 1]) {
    if (r[at] != STATUS_RETURN_DESCRIPTOR || r[at + 1] < 12 || at + 14 > end) continue;
    const u8* d = r + at;
    bool extended = d[2] & 0x01;
    registers[OSL_ATA_FEATURES] = d[3];
    registers[OSL_ATA_COUNT] = d[5];
    registers[OSL_ATA_LBA_LOW] = d[7];
    registers[OSL_ATA_LBA_MID] = d[9];
    registers[OSL_ATA_LBA_HIGH] = d[11];
    registers[OSL_ATA_DEVICE] = d[12];
    registers[OSL_ATA_COMMAND] = d[13];
    if (extended) {
      registers[OSL_ATA_COUNT + 1] = d[4];
      registers[OSL_ATA_LBA_LOW + 1] = d[6];
      registers[OSL_ATA_LBA_MID + 1] = d[8];
      registers[OSL_ATA_LBA_HIGH + 1] = d[10];
    }
    return true;
  }
  return false;
}

}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
