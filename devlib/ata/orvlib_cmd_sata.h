// ATA commands and the functions that send them. A command is its 16-byte
// register block (the native task-file layout of the OS layer: current
// values at the even bytes, the previous, 48-bit values at the odd ones)
// plus how it moves data; the same command reaches a drive behind a
// SCSI-ATA translation inside an ATA PASS-THROUGH (12) or, for a 48-bit
// command, (16) block. The command functions build one command, hand it to
// the OS layer's dispatcher by the drive's command bus and turn a drive's
// refusal into the command's own failure code.
#pragma once

#include <string>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_guard.h"
#include "osl/orv_status.h"
#include "osl/osl_cmd.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

// The ATA PASS-THROUGH protocols of the commands here.
enum _OrvAtaProtocol : u8 {
  ORV_ATA_NON_DATA = 3,
  ORV_ATA_PIO_DATA_IN = 4,
  ORV_ATA_PIO_DATA_OUT = 5,
  ORV_ATA_DMA = 6,
};

class OrvAtaCmd : public OrvBuffer {
 public:
  // A 28-bit command; dataIn tells the direction of a DMA command.
  OrvAtaCmd(u8 opcode, _OrvAtaProtocol protocol, bool dataIn, u32 timeoutSeconds, std::string name);
  OrvAtaCmd(const OrvAtaCmd&) = delete;
  OrvAtaCmd& operator=(const OrvAtaCmd&) = delete;
  ~OrvAtaCmd() override = default;

  std::string getName() const override { return name; }
  // The library code of the command's failure when the drive refuses it;
  // 1 keeps the OS layer's word.
  virtual u8 getErrorCode() const { return 1; }

  // Marks the command as a 48-bit one (byte 13 of the block).
  void setExtended();
  bool isExtended() const { return data[13] != 0; }
  // Register values; the high halves go to the previous registers of a
  // 48-bit command and are dropped otherwise.
  void setFeatures(u16 value);
  void setCount(u16 value);
  void setLba(u64 value);

  _OrvAtaProtocol getProtocol() const { return protocol; }
  bool isDataIn() const { return dataIn; }
  u32 getTimeout() const { return timeoutSeconds; }
  // The drive's output registers matter (the translation is asked to hand
  // them back).
  bool wantsRegisters() const { return registersWanted; }

  // The ATA PASS-THROUGH block that carries the command; the transfer
  // length is that of the SCSI request.
  std::vector<u8> passThroughCdb(u32 dataLength) const;

  OrvByteField features;
  OrvByteField count;
  OrvByteField lbaLow;
  OrvByteField lbaMid;
  OrvByteField lbaHigh;
  OrvByteField device;
  OrvByteField command;

 protected:
  bool registersWanted = false;

 private:
  _OrvAtaProtocol protocol;
  bool dataIn;
  u32 timeoutSeconds;
  std::string name;
};

// IDENTIFY DEVICE: 512 bytes in.
class OrvAtaCmdIdentify : public OrvAtaCmd {
 public:
  OrvAtaCmdIdentify();
  u8 getErrorCode() const override;
};

// DOWNLOAD MICROCODE, or DOWNLOAD MICROCODE DMA, of one subcommand: blocks
// of 512 bytes at a block offset (segmented subcommands only). Activation
// (0Fh) moves no data.
class OrvAtaCmdDownloadMicrocode : public OrvAtaCmd {
 public:
  OrvAtaCmdDownloadMicrocode(u8 subcommand, u16 blocks, u16 blockOffset, bool useDma);
  u8 getErrorCode() const override;
};

// CHECK POWER MODE: the power state comes back in the count register.
class OrvAtaCmdCheckPowerMode : public OrvAtaCmd {
 public:
  OrvAtaCmdCheckPowerMode();
  u8 getErrorCode() const override;
};

class OrvAtaCmdStandbyImmediate : public OrvAtaCmd {
 public:
  OrvAtaCmdStandbyImmediate();
  u8 getErrorCode() const override;
};

class OrvAtaCmdIdleImmediate : public OrvAtaCmd {
 public:
  OrvAtaCmdIdleImmediate();
  u8 getErrorCode() const override;
};

}  // namespace VazidaRaduruSataInternal

// DOWNLOAD MICROCODE subcommands.
constexpr u8 ORV_DM_SEGMENTED = 0x03;  // with offsets, activated when whole
constexpr u8 ORV_DM_WHOLE = 0x07;      // one command, activated at once
constexpr u8 ORV_DM_DEFERRED = 0x0E;   // with offsets, saved for activation
constexpr u8 ORV_DM_ACTIVATE = 0x0F;   // activates the saved image
constexpr u32 ORV_ATA_BLOCK = 512;

// The drive an ATA command goes to: the device's open drive, its command
// bus (1 native task file, 3 SCSI-ATA translation) and its response buffer,
// which receives the return registers or the sense data. Borrowed.
struct OrvAtaHandle {
  _OSL_PDEV* handle;
  osl_bus_type busType;
  OrvBuffer* response;
};

// Every function returns the status word: 0, the OS layer's word, or the
// command's failure code when the drive refused it. A time-out of 0 takes
// the command's own; ignore non-zero logs failures at a lower level.
u64 sendAtaCmd(const OrvAtaHandle& target, VazidaRaduruSataInternal::OrvAtaCmd& cmd, OrvBuffer& data,
               u32 timeoutSeconds, u8 ignore);
// data: at least 512 bytes (code 6 otherwise).
u64 ataIdentify(const OrvAtaHandle& target, OrvBuffer& data, u32 timeoutSeconds, u8 ignore);
// One DOWNLOAD MICROCODE command with data: whole blocks, at most FFFFh of
// them (code 6 otherwise).
u64 ataDownloadMicrocode(const OrvAtaHandle& target, u8 subcommand, OrvBuffer& data, u16 blockOffset,
                         bool useDma, u32 timeoutSeconds, u8 ignore);
u64 ataActivateMicrocode(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore);
// count: the count register the drive returned.
u64 ataCheckPowerMode(const OrvAtaHandle& target, u8& count, u32 timeoutSeconds, u8 ignore);
u64 ataStandbyImmediate(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore);
u64 ataIdleImmediate(const OrvAtaHandle& target, u32 timeoutSeconds, u8 ignore);

// The output registers of the last command in the register-block layout
// (error at byte 0, count, LBA, device, status at byte 12): from the
// response of a native command, or from the ATA status return descriptor of
// the translation's sense data. False when the response holds none.
bool ataOutputRegisters(const OrvAtaHandle& target, u8 registers[16]);

}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
