#include "winsim/storage_port.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "osl/osl_csmi_layout.h"
#include "winsim/drive_ata.h"
#include "winsim/drive_nvme.h"
#include "winsim/faults.h"
#include "winsim/machine.h"
#include "winsim/storage.h"
#include "winsim/text.h"
#include "winsim/winsim_test.h"

namespace winsim {
namespace {

// CSMI return codes.
constexpr uint32_t CSMI_SUCCESS = 0;
constexpr uint32_t CSMI_FAILED = 1;
constexpr uint32_t CSMI_BAD_CONTROL_CODE = 2;
constexpr uint32_t CSMI_INVALID_PARAMETER = 3;

constexpr uint8_t FIS_REGISTER_D2H = 0x34;

struct Known {
  uint32_t code;
  const char* signature;
};
const Known knownCodes[] = {
    {OSL_CSMI_DRIVER_INFO_CODE, "CSMIALL"},
    {OSL_CSMI_RAID_INFO_CODE, "CSMIARY"},
    {OSL_CSMI_RAID_CONFIG_CODE, "CSMIARY"},
    {OSL_CSMI_PHY_INFO_CODE, "CSMISAS"},
    {OSL_CSMI_STP_PASSTHRU_CODE, "CSMISAS"},
    {OSL_RST_FIRMWARE_CODE, "IntelFw "},
    {OSL_RST_NVME_CODE, "IntelNvm"},
};

const rapidjson::Value* memberOf(const rapidjson::Value& record, const char* key) {
  if (!record.IsObject()) return nullptr;
  auto found = record.FindMember(key);
  return found == record.MemberEnd() ? nullptr : &found->value;
}

std::string textOf(const rapidjson::Value& record, const char* key, const char* fallback) {
  const rapidjson::Value* value = memberOf(record, key);
  return value && value->IsString() ? value->GetString() : fallback;
}

uint32_t numberOf(const rapidjson::Value& record, const char* key, uint32_t fallback) {
  const rapidjson::Value* value = memberOf(record, key);
  return value && value->IsUint() ? value->GetUint() : fallback;
}

// A SAS address given in hex (most significant byte first).
std::array<uint8_t, 8> sasAddressOf(const rapidjson::Value& record, uint64_t fallback) {
  std::string given = textOf(record, "sasAddress", "");
  uint64_t value = given.empty() ? fallback : std::strtoull(given.c_str(), nullptr, 16);
  std::array<uint8_t, 8> address{};
  for (unsigned i = 0; i < 8; ++i) address[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
  return address;
}

void putText(uint8_t* field, size_t length, const std::string& text) {
  std::string value = padded(text, length);
  std::memcpy(field, value.data(), length);
}

}  // namespace

StoragePort::StoragePort(Machine& machine, rapidjson::Value& record, uint32_t index, uint32_t* nextDiskNumber)
    : machine_(machine), index_(index), name_("Scsi" + std::to_string(index) + ":") {
  csmi_ = textOf(record, "kind", "") == "csmi";
  miniportError_ = numberOf(record, "miniportError", ERROR_INVALID_FUNCTION);
  maxTransfer_ = numberOf(record, "maxTransfer", 0x20000);
  maxPages_ = numberOf(record, "maxPages", 33);
  path_ = widen("\\\\?\\pci#ven_8086&dev_2822&subsys_00000000&rev_00#3&" + std::to_string(index) +
                "&0&fa#{2accfe60-c130-11d2-b082-00a0c91efb8b}");
  std::vector<rapidjson::Value*> nvmeDisks;
  auto drives = record.IsObject() ? record.FindMember("drives") : record.MemberEnd();
  if (record.IsObject() && drives != record.MemberEnd() && drives->value.IsArray()) {
    uint32_t nextPhy = 0;
    for (rapidjson::Value& one : drives->value.GetArray()) {
      // An NVMe drive is on no phy: the driver presents it as a disk.
      if (textOf(one, "bus", "") == "nvme") {
        nvmeDisks.push_back(&one);
        continue;
      }
      uint32_t phy = numberOf(one, "phy", nextPhy);
      nextPhy = phy + 1;
      if (phy >= OSL_CSMI_MAX_PHYS) continue;
      uint32_t number = numberOf(one, "number", 100 * (index + 1) + phy);
      std::unique_ptr<Drive> drive = makeDrive(machine, one, number);
      if (!drive) continue;
      Phy entry;
      entry.index = phy;
      entry.sasAddress = sasAddressOf(one, 0x5000000000000000ull | uint64_t{index} << 8 | phy);
      entry.drive = std::move(drive);
      phys_.push_back(std::move(entry));
      phyCount_ = std::max(phyCount_, phy + 1);
    }
  }
  phyCount_ = std::min<uint32_t>(numberOf(record, "phys", phyCount_), OSL_CSMI_MAX_PHYS);
  if (const rapidjson::Value* sets = memberOf(record, "raidSets"); sets && sets->IsArray()) {
    uint32_t memberCount = 0;
    for (rapidjson::Value& set : record["raidSets"].GetArray()) {
      std::vector<RaidMember> members;
      auto drives = set.IsObject() ? set.FindMember("drives") : set.MemberEnd();
      if (set.IsObject() && drives != set.MemberEnd() && drives->value.IsArray()) {
        for (rapidjson::Value& one : drives->value.GetArray()) {
          RaidMember member;
          uint64_t fallback = uint64_t{raidSets_.size()} << 48 | uint64_t{members.size()} << 40 |
                              uint64_t{memberCount++ & 0xFF} << 32;
          member.sasAddress = sasAddressOf(one, fallback);
          uint32_t number = numberOf(one, "number", 1000 * (index + 1) + member.sasAddress[3]);
          // The model names an NVMe drive, whatever blanks pad it.
          std::string model = textOf(one, "model", "NVMe");
          if (model.compare(std::min(model.find_first_not_of(' '), model.size()), 4, "NVMe") == 0)
            member.record = makeNvmeDrive(machine, one, number);
          else
            member.record = std::make_unique<Drive>(machine, one, number);
          member.record->setDefaultModel("NVMe VIRTUAL DRIVE");
          member.status = static_cast<uint8_t>(numberOf(one, "status", 0));
          members.push_back(std::move(member));
        }
      }
      maxDrivesPerSet_ = std::max<uint32_t>(maxDrivesPerSet_, static_cast<uint32_t>(members.size()));
      raidSets_.push_back(std::move(members));
    }
  }
  maxDrivesPerSet_ = numberOf(record, "maxDrivesPerSet", std::max<uint32_t>(maxDrivesPerSet_, 8));

  // Disks count their target numbers on from above the members'.
  uint32_t nextTarget = 0;
  for (const std::vector<RaidMember>& set : raidSets_)
    for (const RaidMember& member : set) nextTarget = std::max<uint32_t>(nextTarget, member.sasAddress[3] + 1u);
  for (rapidjson::Value* one : nvmeDisks) {
    uint32_t target = numberOf(*one, "target", nextTarget);
    nextTarget = target + 1;
    uint32_t number = numberOf(*one, "number", *nextDiskNumber);
    *nextDiskNumber = number + 1;
    if (target > 0xFF) continue;
    RaidMember disk;
    disk.sasAddress[3] = static_cast<uint8_t>(target);
    disk.record = makeNvmeDrive(machine, *one, number);
    ownDisks_.push_back(std::move(disk));
  }
}

std::vector<StoragePort::OwnDisk> StoragePort::ownDisks() const {
  std::vector<OwnDisk> all;
  for (const RaidMember& disk : ownDisks_) all.push_back({disk.sasAddress[3], disk.record});
  return all;
}

Drive* StoragePort::driveOnPhy(uint32_t phy) const {
  for (const Phy& one : phys_)
    if (one.index == phy && phy < phyCount_) return one.drive.get();
  return nullptr;
}

std::vector<Drive*> StoragePort::drives() const {
  std::vector<Drive*> all;
  for (const Phy& one : phys_) all.push_back(one.drive.get());
  return all;
}

uint32_t StoragePort::maxDrivesPerSet() const { return maxDrivesPerSet_; }

DWORD StoragePort::answer(DWORD controlCode, const uint8_t* in, DWORD inSize, uint8_t* out,
                          DWORD outSize, DWORD* returned, StorageRequest& trace) {
  if (controlCode == IOCTL_STORAGE_QUERY_PROPERTY)
    return answerPropertyQuery(in, inSize, out, outSize, returned,
                               [this](DWORD property, std::vector<uint8_t>& answer) {
                                 if (property != StorageAdapterProperty) return false;
                                 answer = adapterDescriptorOf(maxTransfer_, maxPages_, BusTypeRAID, 3);
                                 return true;
                               });
  if (controlCode != IOCTL_SCSI_MINIPORT) return ERROR_INVALID_FUNCTION;
  if (!csmi_) return miniportError_;
  if (inSize < sizeof(SRB_IO_CONTROL) || outSize < inSize) return ERROR_INVALID_PARAMETER;
  SRB_IO_CONTROL header;
  std::memcpy(&header, in, sizeof header);
  if (header.HeaderLength != sizeof header || header.Length != inSize - sizeof header)
    return ERROR_INVALID_PARAMETER;
  // The driver works on one system buffer that goes back to the caller.
  std::vector<uint8_t> buffer(in, in + inSize);
  uint32_t returnCode = miniport(in, buffer, trace);
  reinterpret_cast<SRB_IO_CONTROL*>(buffer.data())->ReturnCode = returnCode;
  trace.returnCode = returnCode;
  std::memcpy(out, buffer.data(), inSize);
  *returned = inSize;
  return ERROR_SUCCESS;
}

uint32_t StoragePort::miniport(const uint8_t* in, std::vector<uint8_t>& buffer, StorageRequest& trace) {
  const auto* header = reinterpret_cast<const SRB_IO_CONTROL*>(in);
  trace.timeout = header->Timeout;
  const Known* known = nullptr;
  for (const Known& one : knownCodes)
    if (one.code == header->ControlCode) known = &one;
  if (!known || std::memcmp(header->Signature, known->signature, 8) != 0) return CSMI_BAD_CONTROL_CODE;
  if (header->Timeout == 0) return CSMI_INVALID_PARAMETER;
  FaultRequest request("csmi");
  request.code = header->ControlCode;
  request.raidSet = raidSetOf(buffer.data(), buffer.size());
  if (const rapidjson::Value* fault = machine_.part<Faults>().take(request)) {
    // A driver that misplaces the data of an NVMe pass-through.
    int dataOffset = faultNumber(*fault, "dataOffset", -1);
    if (dataOffset >= 0 && header->ControlCode == OSL_RST_NVME_CODE &&
        buffer.size() >= sizeof(osl_rst_nvme_request))
      reinterpret_cast<osl_rst_nvme_request*>(buffer.data())->dataOffset = static_cast<uint32_t>(dataOffset);
    return static_cast<uint32_t>(faultNumber(*fault, "returnCode", CSMI_FAILED));
  }
  switch (header->ControlCode) {
    case OSL_CSMI_DRIVER_INFO_CODE: return driverInfo(buffer);
    case OSL_CSMI_RAID_INFO_CODE: return raidInfo(buffer);
    case OSL_CSMI_RAID_CONFIG_CODE: return raidConfig(buffer);
    case OSL_CSMI_PHY_INFO_CODE: return phyInfo(buffer);
    case OSL_RST_FIRMWARE_CODE: return firmwareRequest(buffer, trace);
    case OSL_RST_NVME_CODE: return nvmePassThrough(buffer, trace);
    default: return stpPassThrough(buffer, trace);
  }
}

uint32_t StoragePort::driverInfo(std::vector<uint8_t>& buffer) {
  if (buffer.size() < sizeof(osl_csmi_driver_info_buffer)) return CSMI_INVALID_PARAMETER;
  auto* info = reinterpret_cast<osl_csmi_driver_info_buffer*>(buffer.data());
  putText(info->information, 81, "vraid");
  putText(info->information + 81, 81, "Virtual RAID controller");
  return CSMI_SUCCESS;
}

uint32_t StoragePort::raidInfo(std::vector<uint8_t>& buffer) {
  if (buffer.size() < sizeof(osl_csmi_raid_info_buffer)) return CSMI_INVALID_PARAMETER;
  auto* info = reinterpret_cast<osl_csmi_raid_info_buffer*>(buffer.data());
  info->uNumRaidSets = static_cast<uint32_t>(raidSets_.size());
  info->uMaxDrivesPerSet = maxDrivesPerSet();
  return CSMI_SUCCESS;
}

long long raidSetOf(const uint8_t* request, size_t length) {
  if (!request || length < sizeof(osl_csmi_raid_config_buffer)) return -1;
  osl_csmi_raid_config_buffer config;
  std::memcpy(&config, request, sizeof config);
  if (config.header.ControlCode != OSL_CSMI_RAID_CONFIG_CODE) return -1;
  return config.uRaidSetIndex;
}

uint32_t StoragePort::raidConfig(std::vector<uint8_t>& buffer) {
  size_t needed = sizeof(osl_csmi_raid_config_buffer) + sizeof(osl_csmi_raid_drive) * maxDrivesPerSet();
  if (buffer.size() < needed) return CSMI_INVALID_PARAMETER;
  auto* config = reinterpret_cast<osl_csmi_raid_config_buffer*>(buffer.data());
  if (config->uRaidSetIndex >= raidSets_.size()) return CSMI_INVALID_PARAMETER;
  const std::vector<RaidMember>& members = raidSets_[config->uRaidSetIndex];
  config->bDriveCount = static_cast<uint8_t>(std::min<size_t>(members.size(), maxDrivesPerSet()));
  auto* drives = reinterpret_cast<osl_csmi_raid_drive*>(buffer.data() + sizeof(osl_csmi_raid_config_buffer));
  for (size_t i = 0; i < config->bDriveCount; ++i) {
    const RaidMember& member = members[i];
    osl_csmi_raid_drive& drive = drives[i];
    drive = {};
    putText(drive.bModel, sizeof drive.bModel, member.record->model());
    putText(drive.bFirmware, sizeof drive.bFirmware, member.record->firmware());
    putText(drive.bSerialNumber, sizeof drive.bSerialNumber, member.record->serial());
    std::memcpy(drive.bSASAddress, member.sasAddress.data(), 8);
    drive.bDriveStatus = member.status;
  }
  return CSMI_SUCCESS;
}

uint32_t StoragePort::phyInfo(std::vector<uint8_t>& buffer) {
  if (buffer.size() < sizeof(osl_csmi_phy_info_buffer)) return CSMI_INVALID_PARAMETER;
  auto* info = reinterpret_cast<osl_csmi_phy_info_buffer*>(buffer.data());
  info->bNumberOfPhys = static_cast<uint8_t>(phyCount_);
  for (uint32_t i = 0; i < phyCount_; ++i) {
    osl_csmi_phy_entity& phy = info->Phy[i];
    phy = {};
    phy.Identify.bDeviceType = OSL_CSMI_END_DEVICE;
    phy.Identify.bInitiatorPortProtocol = OSL_CSMI_PROTOCOL_SATA | OSL_CSMI_PROTOCOL_STP | OSL_CSMI_PROTOCOL_SSP;
    phy.Identify.bPhyIdentifier = static_cast<uint8_t>(i);
    phy.bPortIdentifier = static_cast<uint8_t>(i);
    for (const Phy& one : phys_) {
      if (one.index != i) continue;
      phy.Attached.bDeviceType = OSL_CSMI_END_DEVICE;
      phy.Attached.bTargetPortProtocol = one.drive->ata() ? OSL_CSMI_PROTOCOL_SATA : OSL_CSMI_PROTOCOL_SSP;
      std::memcpy(phy.Attached.bSASAddress, one.sasAddress.data(), 8);
      phy.Attached.bPhyIdentifier = static_cast<uint8_t>(i);
    }
  }
  return CSMI_SUCCESS;
}

const StoragePort::Phy* StoragePort::phyOf(const std::vector<uint8_t>& buffer) const {
  if (buffer.size() < sizeof(osl_csmi_stp_buffer)) return nullptr;
  const auto* request = reinterpret_cast<const osl_csmi_stp_buffer*>(buffer.data());
  for (const Phy& one : phys_)
    if (one.index == request->bPhyIdentifier && one.index < phyCount_ &&
        request->bPortIdentifier == one.index &&
        std::memcmp(request->bDestinationSASAddress, one.sasAddress.data(), 8) == 0)
      return &one;
  return nullptr;
}

uint32_t StoragePort::stpPassThrough(std::vector<uint8_t>& buffer, StorageRequest& trace) {
  if (buffer.size() < sizeof(osl_csmi_stp_buffer)) return CSMI_INVALID_PARAMETER;
  auto* request = reinterpret_cast<osl_csmi_stp_buffer*>(buffer.data());
  const uint8_t* fis = request->bCommandFIS;
  trace.command.assign(fis, fis + sizeof request->bCommandFIS);
  trace.stpFlags = request->uFlags;
  trace.dataLength = request->uDataLength;
  const Phy* phy = phyOf(buffer);
  bool read = request->uFlags & OSL_CSMI_STP_READ;
  bool write = request->uFlags & OSL_CSMI_STP_WRITE;
  if (!phy || !phy->drive->ata() || fis[0] != 0x27 || !(fis[1] & 0x80) || read == write ||
      request->uDataLength > buffer.size() - OSL_CSMI_STP_DATA_OFFSET)
    return CSMI_INVALID_PARAMETER;

  AtaIo io;
  io.command = fis[2];
  io.features = static_cast<uint16_t>(fis[3] | fis[11] << 8);
  io.lba = uint64_t{fis[4]} | uint64_t{fis[5]} << 8 | uint64_t{fis[6]} << 16 |
           uint64_t{fis[8]} << 24 | uint64_t{fis[9]} << 32 | uint64_t{fis[10]} << 40;
  io.device = fis[7];
  io.count = static_cast<uint16_t>(fis[12] | fis[13] << 8);
  io.ext = fis[8] || fis[9] || fis[10] || fis[11] || fis[13];
  io.length = request->uDataLength;
  io.phase = io.length == 0 ? DataPhase::none : read ? DataPhase::in : DataPhase::out;
  io.data = io.length ? request->bDataBuffer : nullptr;
  phy->drive->ata()->execute(io);

  uint8_t* status = request->bStatusFIS;
  std::memset(status, 0, sizeof request->bStatusFIS);
  status[0] = FIS_REGISTER_D2H;
  status[2] = io.status;
  status[3] = io.error;
  status[4] = static_cast<uint8_t>(io.lba);
  status[5] = static_cast<uint8_t>(io.lba >> 8);
  status[6] = static_cast<uint8_t>(io.lba >> 16);
  status[7] = io.device;
  status[8] = static_cast<uint8_t>(io.lba >> 24);
  status[9] = static_cast<uint8_t>(io.lba >> 32);
  status[10] = static_cast<uint8_t>(io.lba >> 40);
  status[12] = static_cast<uint8_t>(io.count);
  status[13] = static_cast<uint8_t>(io.count >> 8);
  request->uDataBytes = io.transferred;
  return CSMI_SUCCESS;
}

StoragePort::RaidMember* StoragePort::member(uint8_t target) {
  for (std::vector<RaidMember>& set : raidSets_)
    for (RaidMember& one : set)
      if (one.sasAddress[3] == target) return &one;
  for (RaidMember& disk : ownDisks_)
    if (disk.sasAddress[3] == target) return &disk;
  return nullptr;
}

uint32_t StoragePort::firmwareRequest(std::vector<uint8_t>& buffer, StorageRequest& trace) {
  if (buffer.size() < sizeof(osl_rst_firmware_request)) return CSMI_INVALID_PARAMETER;
  const auto* request = reinterpret_cast<const osl_rst_firmware_request*>(buffer.data());
  const osl_firmware_request_block& block = request->block;
  RaidMember* drive = member(request->target);
  if (!drive || request->version != 1 || block.Version != 1 || block.Size != sizeof block ||
      block.Flags != OSL_RST_FLAG_CONTROLLER || block.DataBufferOffset != sizeof *request ||
      block.DataBufferLength > buffer.size() - sizeof *request)
    return CSMI_INVALID_PARAMETER;
  if (block.Function == OSL_FIRMWARE_FUNCTION_DOWNLOAD) {
    if (buffer.size() < sizeof(osl_rst_firmware_download)) return CSMI_INVALID_PARAMETER;
    const auto* download = reinterpret_cast<const osl_rst_firmware_download*>(buffer.data());
    const uint8_t* piece = buffer.data() + sizeof *download;
    // Pieces follow one another from offset 0; a piece at 0 starts again.
    if (download->Version != 2 || download->Size != sizeof *download - sizeof *request ||
        download->BufferSize > buffer.size() - sizeof *download ||
        (download->Offset != 0 && download->Offset != drive->image.size()))
      return CSMI_INVALID_PARAMETER;
    trace.dataLength = static_cast<ULONG>(download->BufferSize);
    if (download->Offset == 0) drive->image.clear();
    drive->image.insert(drive->image.end(), piece, piece + download->BufferSize);
    return CSMI_SUCCESS;
  }
  if (block.Function != OSL_FIRMWARE_FUNCTION_ACTIVATE) return CSMI_INVALID_PARAMETER;
  const auto* activate = reinterpret_cast<const osl_rst_firmware_activate*>(buffer.data());
  std::vector<uint8_t> image = std::move(drive->image);
  drive->image.clear();
  if (activate->Version != 1 || activate->Size != 12 || activate->SlotToActivate == 0 ||
      image.size() < 16 || std::memcmp(image.data(), FIRMWARE_IMAGE_MARK, 8) != 0)
    return CSMI_FAILED;
  std::string revision(reinterpret_cast<const char*>(image.data()) + 8, 8);
  while (!revision.empty() && revision.back() == ' ') revision.pop_back();
  bool atReset = drive->record->flag("rebootToActivate", false);
  if (NvmeDrive* nvme = drive->record->nvme()) {
    if (!nvme->replaceAndActivate(activate->SlotToActivate, revision, atReset)) return CSMI_FAILED;
  } else {
    drive->record->keep("firmware", revision);
  }
  return atReset ? OSL_FIRMWARE_STATUS_REBOOT_REQUIRED : CSMI_SUCCESS;
}

uint32_t StoragePort::nvmePassThrough(std::vector<uint8_t>& buffer, StorageRequest& trace) {
  if (buffer.size() < sizeof(osl_rst_nvme_request)) return CSMI_INVALID_PARAMETER;
  auto* request = reinterpret_cast<osl_rst_nvme_request*>(buffer.data());
  trace.command.assign(request->command, request->command + sizeof request->command);
  trace.dataLength = request->dataLength;
  trace.dataOffset = request->dataOffset;
  trace.queueType = request->queueType;
  RaidMember* drive = member(request->target);
  NvmeDrive* nvme = drive ? drive->record->nvme() : nullptr;
  if (!nvme || request->version != 1 || request->queueType > OSL_RST_NVME_IO_QUEUE ||
      request->dataOffset < sizeof *request || request->dataOffset > buffer.size() ||
      request->dataLength > buffer.size() - request->dataOffset)
    return CSMI_INVALID_PARAMETER;
  NvmeIo io;
  std::memcpy(io.command, request->command, sizeof io.command);
  // The transfer direction is the opcode's: bit 1 from the controller, bit 0
  // to it.
  uint8_t transfer = io.opcode() & 3;
  io.phase = transfer == 2 ? DataPhase::in : transfer == 1 ? DataPhase::out : DataPhase::none;
  io.data = buffer.data() + request->dataOffset;
  io.length = request->dataLength;
  // The controller keeps no data: it has no I/O command set.
  if (request->queueType == OSL_RST_NVME_ADMIN_QUEUE)
    nvme->execute(io);
  else
    nvmeFail(io, NVME_INVALID_OPCODE);
  std::vector<uint8_t> completion = io.completion();
  std::memcpy(request->completion, completion.data(), sizeof request->completion);
  return OSL_RST_NVME_CARRIED;
}

void StoragePort::lost(const uint8_t* in, DWORD inSize) {
  if (!in || inSize < sizeof(osl_csmi_stp_buffer)) return;
  const auto* header = reinterpret_cast<const SRB_IO_CONTROL*>(in);
  if (header->ControlCode != OSL_CSMI_STP_PASSTHRU_CODE) return;
  const auto* request = reinterpret_cast<const osl_csmi_stp_buffer*>(in);
  if (Drive* drive = driveOnPhy(request->bPhyIdentifier))
    if (AtaDrive* ata = drive->ata()) ata->abandonDownload();
}

}  // namespace winsim
