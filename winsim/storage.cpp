// The storage stack of the simulated machine. Each control code is answered
// as Windows' disk, port and adapter drivers answer it: requests are checked
// as the drivers check them (lengths, offsets, directions, time-outs, the
// adapter's transfer limit, the handle's access), commands reach the drive
// through the command set its bus carries, and every call is traced.
#include "winsim/storage.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>

#include "winsim/drive_ata.h"
#include "winsim/drive_nvme.h"
#include "winsim/nvme_translation.h"
#include "winsim/faults.h"
#include "winsim/handles.h"
#include "winsim/host.h"
#include "winsim/machine.h"
#include "winsim/sat.h"
#include "winsim/text.h"
#include "winsim/win32.h"
#include "winsim/winsim_test.h"
#include "osl/osl_storage.h"

namespace winsim {
namespace {

constexpr ULONG LONGEST_TIMEOUT_SECONDS = 108000;  // 30 hours

// An open disk, or an open storage port (disk null).
struct DiskHandle : KernelObject {
  std::shared_ptr<Disk> disk;
  std::shared_ptr<StoragePort> port;
  DWORD access = 0;
  unsigned long long generation = 0;  // of the stack that opened it
};

unsigned long long nextGeneration = 1;

std::u16string lower(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

std::string interfaceText(std::string text) {
  std::string out;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out += (c == ' ' || c == '#' || c == '\\') ? '_' : c;
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

std::string trimmedRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

}  // namespace

AtaDrive* Disk::ataPath() const { return drive->bus() == "sata" ? drive->ata() : nullptr; }

ScsiTarget* Disk::scsiPath() const {
  return drive->scsi() ? drive->scsi() : translation.get();
}

namespace {

std::u16string diskPath(const ScsiTarget& target, uint32_t number) {
  return widen("\\\\?\\scsi#disk&ven_" + interfaceText(target.vendorId()) + "&prod_" +
               interfaceText(target.productId()) + "#4&" + std::to_string(number) +
               "&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

}  // namespace

bool Disk::behindRaidDriver() const { return raidDriver || drive->flag("raid", false); }

NvmeDrive* Disk::nvmeDriverPath() const { return behindRaidDriver() ? nullptr : drive->nvme(); }

StorageStack::StorageStack(Machine& machine) : generation_(nextGeneration++) {
  rapidjson::Value& description = machine.description();
  uint32_t next = 0;
  auto drives = description.FindMember("drives");
  if (drives != description.MemberEnd() && drives->value.IsArray()) {
    for (rapidjson::Value& record : drives->value.GetArray()) {
      uint32_t number = next;
      if (record.IsObject()) {
        auto given = record.FindMember("number");
        if (given != record.MemberEnd() && given->value.IsUint()) number = given->value.GetUint();
      }
      next = number + 1;
      std::unique_ptr<Drive> drive = makeDrive(machine, record, number);
      if (!drive) continue;
      auto disk = std::make_shared<Disk>();
      disk->number = number;
      disk->name = "PHYSICALDRIVE" + std::to_string(number);
      if (drive->bus() == "sata") {
        disk->pathId = static_cast<uint8_t>(number);
      } else {
        disk->targetId = static_cast<uint8_t>(number);
      }
      if (AtaDrive* ata = drive->ata()) disk->translation = std::make_unique<SatTranslation>(*ata);
      disk->drive = std::move(drive);
      if (NvmeDrive* nvme = disk->drive->nvme())
        disk->translation = std::make_unique<NvmeTranslation>(*nvme, !disk->behindRaidDriver());
      disk->path = diskPath(*disk->scsiPath(), number);
      disks_.push_back(std::move(disk));
    }
  }
  // The disks the RAID controllers' drivers present follow the machine's.
  auto controllers = description.FindMember("controllers");
  if (controllers == description.MemberEnd() || !controllers->value.IsArray()) return;
  for (rapidjson::Value& record : controllers->value.GetArray()) {
    auto port = std::make_shared<StoragePort>(machine, record, static_cast<uint32_t>(ports_.size()), &next);
    for (const StoragePort::OwnDisk& own : port->ownDisks()) {
      auto disk = std::make_shared<Disk>();
      disk->number = own.drive->number();
      disk->name = "PHYSICALDRIVE" + std::to_string(disk->number);
      // The driver answers with the drive's target number as the path id.
      disk->pathId = own.target;
      disk->raidDriver = true;
      disk->port = static_cast<int>(ports_.size());
      disk->translation = std::make_unique<RaidNvmeTranslation>(*own.drive->nvme(), own.target);
      disk->drive = own.drive;
      disk->path = diskPath(*disk->scsiPath(), disk->number);
      disks_.push_back(std::move(disk));
    }
    ports_.push_back(std::move(port));
  }
}

std::shared_ptr<StoragePort> StorageStack::findPort(const std::u16string& path) const {
  std::u16string wanted = lower(path);
  for (const auto& port : ports_)
    if (wanted == lower(u"\\\\.\\" + widen(port->name())) || wanted == lower(port->path())) return port;
  return nullptr;
}

std::shared_ptr<Disk> StorageStack::find(const std::u16string& path) const {
  std::u16string wanted = lower(path);
  for (const auto& disk : disks_) {
    if (wanted == lower(u"\\\\.\\" + widen(disk->name)) || wanted == lower(disk->path)) return disk;
  }
  return nullptr;
}

std::vector<uint8_t> adapterDescriptorOf(DWORD maximumTransfer, DWORD maximumPages, uint8_t busType,
                                         DWORD alignmentMask) {
  STORAGE_ADAPTER_DESCRIPTOR adapter = {};
  adapter.Version = sizeof adapter;
  adapter.Size = sizeof adapter;
  adapter.MaximumTransferLength = maximumTransfer;
  adapter.MaximumPhysicalPages = maximumPages;
  adapter.AlignmentMask = alignmentMask;
  adapter.CommandQueueing = TRUE;
  adapter.BusType = busType;
  adapter.BusMajorVersion = 1;
  std::vector<uint8_t> bytes(sizeof adapter);
  std::memcpy(bytes.data(), &adapter, sizeof adapter);
  return bytes;
}

DWORD answerPropertyQuery(const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize, DWORD* returned,
                          const std::function<bool(DWORD, std::vector<uint8_t>&)>& describe) {
  if (inSize < offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters)) return ERROR_INVALID_PARAMETER;
  STORAGE_PROPERTY_QUERY query;
  std::memcpy(&query, in, offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters));
  std::vector<uint8_t> answer;
  if (!describe(query.PropertyId, answer)) return ERROR_NOT_SUPPORTED;
  if (query.QueryType == PropertyExistsQuery) return ERROR_SUCCESS;
  if (query.QueryType != PropertyStandardQuery) return ERROR_INVALID_PARAMETER;
  if (!out || outSize < sizeof(STORAGE_DESCRIPTOR_HEADER)) return ERROR_INSUFFICIENT_BUFFER;
  *returned = std::min<DWORD>(outSize, static_cast<DWORD>(answer.size()));
  std::memcpy(out, answer.data(), *returned);
  return ERROR_SUCCESS;
}

namespace {

// ---------------------------------------------------------------------------
// Answers of the disk and port drivers.

// A descriptor with texts appended after its fixed part; offsets in the
// fixed part name them.
class DescriptorBuilder {
 public:
  explicit DescriptorBuilder(size_t fixedLength) : bytes_(fixedLength, 0) {}
  DWORD addText(const std::string& text) {
    DWORD offset = static_cast<DWORD>(bytes_.size());
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
    return offset;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

uint8_t busTypeOf(const Disk& disk) {
  // A RAID driver names its bus RAID and leaves the drive to be told by its
  // identifiers.
  if (disk.behindRaidDriver()) return BusTypeRAID;
  if (disk.drive->nvme()) return BusTypeNvme;
  return disk.drive->bus() == "sata" ? BusTypeSata : BusTypeSas;
}

std::vector<uint8_t> deviceDescriptor(const Disk& disk) {
  DescriptorBuilder builder(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties));
  DWORD vendor = 0, product = 0, revision = 0, serial = 0;
  // A device without a product id (all blanks) has no offset of it.
  auto productText = [&builder](const std::string& text) {
    return trimmedRight(text).empty() ? DWORD{0} : builder.addText(text);
  };
  if (AtaDrive* ata = disk.ataPath()) {
    // The AHCI driver reports the IDENTIFY texts and no vendor.
    product = productText(trimmedRight(ata->model()).substr(0, 40));
    revision = builder.addText(trimmedRight(ata->firmware()).substr(0, 8));
    serial = builder.addText(padded(ata->serial(), 20));
  } else if (NvmeDrive* nvme = disk.nvmeDriverPath()) {
    // The NVMe driver reports the identify texts whole (a RAID driver, what
    // its translation answers to INQUIRY: below).
    vendor = builder.addText("NVMe    ");
    product = productText(trimmedRight(nvme->model()).substr(0, 40));
    revision = builder.addText(trimmedRight(nvme->firmware()).substr(0, 8));
    serial = builder.addText(nvme->serial().substr(0, 20));
  } else {
    // The texts of the INQUIRY data, as a SCSI port driver (a RAID driver's
    // included) reports them.
    ScsiTarget* target = disk.scsiPath();
    vendor = builder.addText(target->vendorId());
    product = productText(target->productId());
    revision = builder.addText(target->revision());
    if (target->hasUnitSerialPage()) serial = builder.addText(target->unitSerial());
  }
  std::vector<uint8_t>& bytes = builder.bytes();
  STORAGE_DEVICE_DESCRIPTOR fixed = {};
  fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
  fixed.Size = static_cast<DWORD>(bytes.size());
  fixed.CommandQueueing = TRUE;
  fixed.VendorIdOffset = vendor;
  fixed.ProductIdOffset = product;
  fixed.ProductRevisionOffset = revision;
  fixed.SerialNumberOffset = serial;
  fixed.BusType = static_cast<STORAGE_BUS_TYPE>(busTypeOf(disk));
  std::memcpy(bytes.data(), &fixed, offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties));
  return bytes;
}

std::vector<uint8_t> adapterDescriptor(const Disk& disk) {
  bool ahci = disk.drive->bus() == "sata" || disk.drive->nvme();
  return adapterDescriptorOf(static_cast<DWORD>(disk.drive->number64("maxTransfer", ahci ? 0x20000 : 0x100000)),
                             static_cast<DWORD>(disk.drive->number64("maxPages", ahci ? 33 : 257)),
                             busTypeOf(disk), ahci ? 1 : 3);
}

std::vector<uint8_t> deviceIdDescriptor(const Disk& disk) {
  const size_t header = offsetof(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers);
  const size_t fixedPart = offsetof(STORAGE_IDENTIFIER, Identifier);
  std::vector<uint8_t> bytes(header, 0);
  std::vector<std::vector<uint8_t>> designators = disk.scsiPath()->reportedDesignators();
  for (const std::vector<uint8_t>& one : designators) {
    size_t size = one.size() - 4;
    size_t next = (fixedPart + size + 3) & ~size_t{3};
    STORAGE_IDENTIFIER identifier = {};
    identifier.CodeSet = static_cast<STORAGE_IDENTIFIER_CODE_SET>(one[0] & 0x0F);
    identifier.Type = static_cast<STORAGE_IDENTIFIER_TYPE>(one[1] & 0x0F);
    identifier.Association = static_cast<STORAGE_ASSOCIATION_TYPE>((one[1] >> 4) & 0x03);
    identifier.IdentifierSize = static_cast<WORD>(size);
    identifier.NextOffset = static_cast<WORD>(next);
    size_t at = bytes.size();
    bytes.resize(at + next, 0);
    std::memcpy(bytes.data() + at, &identifier, fixedPart);
    std::memcpy(bytes.data() + at + fixedPart, one.data() + 4, size);
  }
  STORAGE_DEVICE_ID_DESCRIPTOR fixed = {};
  fixed.Version = sizeof fixed;
  fixed.Size = static_cast<DWORD>(bytes.size());
  fixed.NumberOfIdentifiers = static_cast<DWORD>(designators.size());
  std::memcpy(bytes.data(), &fixed, header);
  return bytes;
}

std::vector<uint8_t> seekPenaltyDescriptor(const Disk& disk) {
  DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
  answer.Version = sizeof answer;
  answer.Size = sizeof answer;
  answer.IncursSeekPenalty = disk.drive->rotational() ? TRUE : FALSE;
  std::vector<uint8_t> bytes(sizeof answer);
  std::memcpy(bytes.data(), &answer, sizeof answer);
  return bytes;
}

DWORD queryProperty(Call& call) {
  // Read as a number: a caller may name a property this header has no name for.
  DWORD propertyId = 0;
  if (call.inSize >= sizeof propertyId) std::memcpy(&propertyId, call.in, sizeof propertyId);
  if (propertyId == OSL_PROPERTY_ADAPTER_PROTOCOL_SPECIFIC || propertyId == OSL_PROPERTY_DEVICE_PROTOCOL_SPECIFIC) {
    if (call.inSize < offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters)) return ERROR_INVALID_PARAMETER;
    return nvmeProtocolQuery(call);
  }
  return answerPropertyQuery(call.in, call.inSize, call.out, call.outSize, &call.returned,
                             [&call](DWORD property, std::vector<uint8_t>& answer) {
                               switch (property) {
                                 case StorageDeviceProperty: answer = deviceDescriptor(call.disk); return true;
                                 case StorageAdapterProperty: answer = adapterDescriptor(call.disk); return true;
                                 case StorageDeviceIdProperty: answer = deviceIdDescriptor(call.disk); return true;
                                 case StorageDeviceSeekPenaltyProperty: answer = seekPenaltyDescriptor(call.disk); return true;
                                 default: return false;
                               }
                             });
}

DWORD deviceNumber(Call& call) {
  if (!call.out || call.outSize < sizeof(STORAGE_DEVICE_NUMBER)) return ERROR_INSUFFICIENT_BUFFER;
  STORAGE_DEVICE_NUMBER number = {};
  number.DeviceType = FILE_DEVICE_DISK;
  number.DeviceNumber = call.disk.number;
  number.PartitionNumber = 0;
  std::memcpy(call.out, &number, sizeof number);
  call.returned = sizeof number;
  return ERROR_SUCCESS;
}

// The layout from the drive's "partitions": {"style": "mbr" | "gpt" | "raw",
// "count": n}; an MBR layout lists its entries in groups of four, unused
// ones numbered 0.
DWORD driveLayout(Call& call) {
  std::string style = "raw";
  DWORD count = 0;
  if (const rapidjson::Value* partitions = call.disk.drive->member("partitions")) {
    if (partitions->IsObject()) {
      auto found = partitions->FindMember("style");
      if (found != partitions->MemberEnd() && found->value.IsString()) style = found->value.GetString();
      found = partitions->FindMember("count");
      if (found != partitions->MemberEnd() && found->value.IsUint()) count = found->value.GetUint();
    }
  }
  DWORD entries = 0;
  DWORD partitionStyle = PARTITION_STYLE_RAW;
  if (style == "mbr") {
    partitionStyle = PARTITION_STYLE_MBR;
    entries = std::max<DWORD>(4, (count + 3) / 4 * 4);
  } else if (style == "gpt") {
    partitionStyle = PARTITION_STYLE_GPT;
    entries = count;
  } else {
    count = 0;
  }
  size_t header = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
  size_t needed = header + entries * sizeof(PARTITION_INFORMATION_EX);
  if (!call.out || call.outSize < std::max(needed, sizeof(DRIVE_LAYOUT_INFORMATION_EX)))
    return ERROR_INSUFFICIENT_BUFFER;
  std::vector<uint8_t> bytes(needed, 0);
  auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(bytes.data());
  layout->PartitionStyle = partitionStyle;
  layout->PartitionCount = entries;
  auto* entry = reinterpret_cast<PARTITION_INFORMATION_EX*>(bytes.data() + header);
  const int64_t partitionLength = 1ll << 30;
  for (DWORD i = 0; i < entries; ++i) {
    entry[i].PartitionStyle = static_cast<PARTITION_STYLE>(partitionStyle);
    if (i >= count) continue;
    entry[i].StartingOffset.QuadPart = (1ll << 20) + static_cast<int64_t>(i) * partitionLength;
    entry[i].PartitionLength.QuadPart = partitionLength;
    entry[i].PartitionNumber = i + 1;
  }
  std::memcpy(call.out, bytes.data(), needed);
  call.returned = static_cast<DWORD>(needed);
  return ERROR_SUCCESS;
}

bool validTimeout(ULONG seconds) { return seconds >= 1 && seconds <= LONGEST_TIMEOUT_SECONDS; }

DWORD ataPassThrough(Call& call) {
  if (call.inSize < sizeof(ATA_PASS_THROUGH_DIRECT) || call.outSize < sizeof(ATA_PASS_THROUGH_DIRECT))
    return ERROR_INVALID_PARAMETER;
  ATA_PASS_THROUGH_DIRECT request;
  std::memcpy(&request, call.in, sizeof request);
  StorageRequest& trace = call.trace;
  trace.ataFlags = request.AtaFlags;
  trace.dataLength = request.DataTransferLength;
  trace.data = request.DataBuffer;
  trace.timeout = request.TimeOutValue;
  trace.command.resize(16);
  for (unsigned i = 0; i < 8; ++i) {
    trace.command[2 * i] = request.CurrentTaskFile[i];
    trace.command[2 * i + 1] = request.PreviousTaskFile[i];
  }
  AtaDrive* drive = call.disk.ataPath();
  if (!drive) return ERROR_NOT_SUPPORTED;
  bool in = request.AtaFlags & ATA_FLAGS_DATA_IN;
  bool out = request.AtaFlags & ATA_FLAGS_DATA_OUT;
  if (request.Length != sizeof request || (in && out) || !validTimeout(request.TimeOutValue) ||
      (request.DataTransferLength && (!request.DataBuffer || !(in || out))) ||
      request.DataTransferLength > maximumTransfer(call.disk))
    return ERROR_INVALID_PARAMETER;

  bool ext = request.AtaFlags & ATA_FLAGS_48BIT_COMMAND;
  const UCHAR* current = request.CurrentTaskFile;
  const UCHAR* previous = request.PreviousTaskFile;
  AtaIo io;
  io.ext = ext;
  io.features = static_cast<uint16_t>(current[0] | (ext ? previous[0] << 8 : 0));
  io.count = static_cast<uint16_t>(current[1] | (ext ? previous[1] << 8 : 0));
  io.lba = static_cast<uint64_t>(current[2]) | static_cast<uint64_t>(current[3]) << 8 |
           static_cast<uint64_t>(current[4]) << 16;
  if (ext)
    io.lba |= static_cast<uint64_t>(previous[2]) << 24 | static_cast<uint64_t>(previous[3]) << 32 |
              static_cast<uint64_t>(previous[4]) << 40;
  io.device = current[5];
  io.command = current[6];
  io.phase = in ? DataPhase::in : out ? DataPhase::out : DataPhase::none;
  io.data = static_cast<uint8_t*>(request.DataBuffer);
  io.length = request.DataTransferLength;
  drive->execute(io);

  UCHAR answer[8] = {io.error, static_cast<UCHAR>(io.count), static_cast<UCHAR>(io.lba),
                     static_cast<UCHAR>(io.lba >> 8), static_cast<UCHAR>(io.lba >> 16), io.device,
                     io.status, 0};
  std::memcpy(request.CurrentTaskFile, answer, 8);
  std::memset(request.PreviousTaskFile, 0, 8);
  if (ext) {
    request.PreviousTaskFile[1] = static_cast<UCHAR>(io.count >> 8);
    request.PreviousTaskFile[2] = static_cast<UCHAR>(io.lba >> 24);
    request.PreviousTaskFile[3] = static_cast<UCHAR>(io.lba >> 32);
    request.PreviousTaskFile[4] = static_cast<UCHAR>(io.lba >> 40);
  }
  request.PathId = call.disk.pathId;
  request.TargetId = call.disk.targetId;
  request.Lun = call.disk.lun;
  request.DataTransferLength = io.transferred;
  std::memcpy(call.out, &request, sizeof request);
  call.returned = sizeof request;
  return ERROR_SUCCESS;
}

// Both SCSI forms: the header (SCSI_PASS_THROUGH or _DIRECT, same layout but
// for the data field) starts the buffer that goes in and comes back.
DWORD scsiPassThrough(Call& call, bool direct) {
  const DWORD headerLength = sizeof(SCSI_PASS_THROUGH);
  if (call.inSize < headerLength || call.outSize < headerLength) return ERROR_INVALID_PARAMETER;
  // The driver works on one system buffer as long as the longer side.
  std::vector<uint8_t> system(std::max(call.inSize, call.outSize), 0);
  std::memcpy(system.data(), call.in, call.inSize);
  auto* header = reinterpret_cast<SCSI_PASS_THROUGH*>(system.data());
  auto* directHeader = reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(system.data());

  StorageRequest& trace = call.trace;
  trace.command.assign(header->Cdb, header->Cdb + std::min<UCHAR>(header->CdbLength, 16));
  trace.dataIn = header->DataIn;
  trace.dataLength = header->DataTransferLength;
  trace.timeout = header->TimeOutValue;

  ULONG length = header->DataTransferLength;
  uint8_t* data = nullptr;
  if (length) {
    if (direct) {
      data = static_cast<uint8_t*>(directHeader->DataBuffer);
      trace.data = data;
    } else {
      ULONG_PTR offset = header->DataBufferOffset;
      DWORD side = header->DataIn == SCSI_IOCTL_DATA_IN ? call.outSize : call.inSize;
      if (offset >= headerLength && offset <= side && length <= side - offset) {
        data = system.data() + offset;
        trace.data = call.in + offset;
      }
    }
  }
  bool senseFits = header->SenseInfoLength == 0 ||
                   (header->SenseInfoOffset >= headerLength &&
                    header->SenseInfoOffset <= call.outSize &&
                    header->SenseInfoLength <= call.outSize - header->SenseInfoOffset);
  if (header->Length != headerLength || header->CdbLength == 0 || header->CdbLength > 16 ||
      header->DataIn > SCSI_IOCTL_DATA_UNSPECIFIED || !validTimeout(header->TimeOutValue) ||
      !senseFits || (length && !data) || length > maximumTransfer(call.disk))
    return ERROR_INVALID_PARAMETER;

  ScsiIo io;
  io.cdb = header->Cdb;
  io.cdbLength = header->CdbLength;
  io.phase = header->DataIn == SCSI_IOCTL_DATA_IN    ? DataPhase::in
             : header->DataIn == SCSI_IOCTL_DATA_OUT ? DataPhase::out
                                                     : DataPhase::none;
  if (length == 0) io.phase = DataPhase::none;
  io.data = data;
  io.length = length;
  call.disk.scsiPath()->execute(io);

  header->ScsiStatus = io.status;
  trace.scsiStatus = io.status;
  header->PathId = call.disk.pathId;
  header->TargetId = call.disk.targetId;
  header->Lun = call.disk.lun;
  header->DataTransferLength = io.transferred;
  UCHAR senseLength = 0;
  if (io.status != SCSI_STATUS_GOOD && !io.sense.empty()) {
    senseLength = static_cast<UCHAR>(std::min<size_t>(io.sense.size(), header->SenseInfoLength));
    std::memcpy(system.data() + header->SenseInfoOffset, io.sense.data(), senseLength);
  }
  header->SenseInfoLength = senseLength;
  std::memcpy(call.out, system.data(), call.outSize);
  call.returned = call.outSize;
  return ERROR_SUCCESS;
}

struct ControlCode {
  DWORD code;
  const char* name;
  DWORD (*answer)(Call&);
};

DWORD succeed(Call&) { return ERROR_SUCCESS; }
// A plain disk's adapter knows no miniport requests (CSMI and others); the
// NVMe driver answers the "FIRMWARE" requests.
DWORD miniport(Call& call) {
  if (call.disk.nvmeDriverPath() && call.inSize >= sizeof(SRB_IO_CONTROL) &&
      std::memcmp(reinterpret_cast<const SRB_IO_CONTROL*>(call.in)->Signature, "FIRMWARE", 8) == 0)
    return nvmeMiniportFirmware(call);
  return ERROR_INVALID_FUNCTION;
}
DWORD scsiBuffered(Call& call) { return scsiPassThrough(call, false); }
DWORD scsiDirect(Call& call) { return scsiPassThrough(call, true); }

const ControlCode controlCodes[] = {
    {IOCTL_STORAGE_GET_DEVICE_NUMBER, "IOCTL_STORAGE_GET_DEVICE_NUMBER", &deviceNumber},
    {IOCTL_STORAGE_QUERY_PROPERTY, "IOCTL_STORAGE_QUERY_PROPERTY", &queryProperty},
    {IOCTL_DISK_UPDATE_PROPERTIES, "IOCTL_DISK_UPDATE_PROPERTIES", &succeed},
    {IOCTL_DISK_GET_DRIVE_LAYOUT_EX, "IOCTL_DISK_GET_DRIVE_LAYOUT_EX", &driveLayout},
    {IOCTL_ATA_PASS_THROUGH_DIRECT, "IOCTL_ATA_PASS_THROUGH_DIRECT", &ataPassThrough},
    {IOCTL_SCSI_PASS_THROUGH, "IOCTL_SCSI_PASS_THROUGH", &scsiBuffered},
    {IOCTL_SCSI_PASS_THROUGH_DIRECT, "IOCTL_SCSI_PASS_THROUGH_DIRECT", &scsiDirect},
    {IOCTL_SCSI_MINIPORT, "IOCTL_SCSI_MINIPORT", &miniport},
    {OSL_IOCTL_STORAGE_PROTOCOL_COMMAND, "IOCTL_STORAGE_PROTOCOL_COMMAND", &nvmeProtocolCommand},
    {OSL_IOCTL_STORAGE_FIRMWARE_GET_INFO, "IOCTL_STORAGE_FIRMWARE_GET_INFO", &nvmeFirmwareInfo},
    {OSL_IOCTL_STORAGE_FIRMWARE_DOWNLOAD, "IOCTL_STORAGE_FIRMWARE_DOWNLOAD", &nvmeFirmwareDownload},
    {OSL_IOCTL_STORAGE_FIRMWARE_ACTIVATE, "IOCTL_STORAGE_FIRMWARE_ACTIVATE", &nvmeFirmwareActivate},
    {OSL_IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD, "IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD",
     &nvmeTemperatureThreshold},
    {OSL_IOCTL_DISK_GET_CACHE_INFORMATION, "IOCTL_DISK_GET_CACHE_INFORMATION", &getCacheInformation},
    {OSL_IOCTL_DISK_SET_CACHE_INFORMATION, "IOCTL_DISK_SET_CACHE_INFORMATION", &setCacheInformation},
};

}  // namespace

DWORD maximumTransfer(const Disk& disk) {
  std::vector<uint8_t> bytes = adapterDescriptor(disk);
  return reinterpret_cast<const STORAGE_ADAPTER_DESCRIPTOR*>(bytes.data())->MaximumTransferLength;
}

std::vector<StorageRequest>& storageTrace() {
  static std::vector<StorageRequest> requests;
  return requests;
}

void clearStorageTrace() { storageTrace().clear(); }

namespace {

thread_local int requestsAnswered = 0;

// Marks the time the storage stack answers a request.
struct Answering {
  Answering() { ++requestsAnswered; }
  ~Answering() { --requestsAnswered; }
  Answering(const Answering&) = delete;
  Answering& operator=(const Answering&) = delete;
};

}  // namespace

bool answeringRequest() { return requestsAnswered > 0; }

}  // namespace winsim

using namespace winsim;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  Machine& machine = Machine::current();
  std::shared_ptr<Disk> disk = machine.part<StorageStack>().find(fileName);
  std::shared_ptr<StoragePort> port = disk ? nullptr : machine.part<StorageStack>().findPort(fileName);
  if (!disk && !port) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  FaultRequest request("ioctl");
  request.name = "CreateFileW";
  request.drive = disk ? static_cast<int>(disk->number) : -1;
  if (const rapidjson::Value* fault = machine.part<Faults>().take(request)) {
    SetLastError(static_cast<DWORD>(faultNumber(*fault, "error", ERROR_GEN_FAILURE)));
    return INVALID_HANDLE_VALUE;
  }
  if (creationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Reading or writing a physical drive takes an administrator.
  if ((desiredAccess & (GENERIC_READ | GENERIC_WRITE)) && !machine.admin()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto handle = std::make_shared<DiskHandle>();
  handle->disk = disk;
  handle->port = port;
  handle->access = desiredAccess;
  handle->generation = machine.part<StorageStack>().generation();
  SetLastError(ERROR_SUCCESS);
  return newHandle(handle);
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped) {
  // A request the driver took completes before a termination handler runs.
  TerminationSignalsHeld held;
  Answering answering;
  auto handle = objectAs<DiskHandle>(device);
  if (!handle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || !bytesReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A handle of a machine that was replaced names a drive that is gone.
  if (handle->generation != Machine::current().part<StorageStack>().generation()) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  *bytesReturned = 0;
  const ControlCode* control = nullptr;
  for (const ControlCode& one : controlCodes)
    if (one.code == ioControlCode) control = &one;

  StorageRequest trace;
  trace.device = handle->disk ? handle->disk->name : handle->port->name();
  trace.code = ioControlCode;
  trace.name = control ? control->name : "unknown";
  if (ioControlCode == IOCTL_STORAGE_QUERY_PROPERTY && inBuffer && inBufferSize >= sizeof(DWORD))
    std::memcpy(&trace.property, inBuffer, sizeof(DWORD));

  DWORD error = ERROR_SUCCESS;
  DWORD access = (ioControlCode >> 14) & 3;
  FaultRequest request("ioctl");
  request.name = trace.name;
  request.drive = handle->disk ? static_cast<int>(handle->disk->number) : -1;
  if (ioControlCode == IOCTL_STORAGE_QUERY_PROPERTY) {
    request.detailKey = "property";
    request.detail = static_cast<int>(trace.property);
  }
  if (ioControlCode == IOCTL_SCSI_MINIPORT && inBuffer && inBufferSize >= sizeof(SRB_IO_CONTROL)) {
    trace.miniportCode = reinterpret_cast<const SRB_IO_CONTROL*>(inBuffer)->ControlCode;
    request.detailKey = "controlCode";
    request.detail = trace.miniportCode;
    request.raidSet = raidSetOf(static_cast<const uint8_t*>(inBuffer), inBufferSize);
  }
  const auto* in = static_cast<const uint8_t*>(inBuffer);
  auto* out = static_cast<uint8_t*>(outBuffer);
  DWORD returned = 0;
  if (!control) {
    error = ERROR_INVALID_FUNCTION;
  } else if (((access & FILE_READ_ACCESS) && !(handle->access & GENERIC_READ)) ||
             ((access & FILE_WRITE_ACCESS) && !(handle->access & GENERIC_WRITE))) {
    error = ERROR_ACCESS_DENIED;
  } else if ((inBufferSize && !inBuffer) || (outBufferSize && !outBuffer)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (const rapidjson::Value* fault = Machine::current().part<Faults>().take(request)) {
    error = static_cast<DWORD>(faultNumber(*fault, "error", ERROR_GEN_FAILURE));
    // A pass-through lost on the way leaves a download to the drive incomplete.
    if (handle->disk && (ioControlCode == IOCTL_ATA_PASS_THROUGH_DIRECT ||
                         ioControlCode == IOCTL_SCSI_PASS_THROUGH ||
                         ioControlCode == IOCTL_SCSI_PASS_THROUGH_DIRECT))
      handle->disk->drive->abandonDownload();
    if (handle->port && ioControlCode == IOCTL_SCSI_MINIPORT) handle->port->lost(in, inBufferSize);
  } else if (handle->port) {
    error = handle->port->answer(ioControlCode, in, inBufferSize, out, outBufferSize, &returned, trace);
  } else {
    Call call{*handle->disk, in, inBufferSize, out, outBufferSize, 0, trace};
    error = control->answer(call);
    returned = call.returned;
  }
  trace.error = error;
  storageTrace().push_back(trace);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  *bytesReturned = returned;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
