// NVMe identify data: the 4096-byte identify buffer, the Identify Controller
// and Identify Namespace data with their named fields, the power-state
// descriptors, and the fields made of named bits.
//
// Every field is a view on its structure's own bytes, so identify data read
// into a structure shows at the next read of any field. The bytes of an
// identify buffer therefore never move: it refuses any other length.
#pragma once

#include <array>
#include <cstddef>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendata.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {
namespace VazidaRaduruNvmeInternal {

// A library word raised for the NVMe data classes: they carry this family's
// source-file number whichever of its files raises them.
u64 orvNvmeBufferStatus(u16 code, u32 line);

// N objects, the i-th built from (argument, i): for arrays of members that
// can be neither copied nor moved.
template <typename T, typename Argument, std::size_t... I>
std::array<T, sizeof...(I)> orvNvmIndexed(Argument argument, std::index_sequence<I...>) {
  return {{T(argument, static_cast<u8>(I))...}};
}

// The data buffer of one Identify command: 4096 zeroed little-endian bytes
// with a display name, which shows in the hex dumps (getName stays empty).
// A plain one holds a list of identifiers and prints and exports nothing.
class OrvNvmIdentify : public OrvBuffer {
 public:
  static constexpr u32 kLength = 4096;

  explicit OrvNvmIdentify(std::string name);
  OrvNvmIdentify(const OrvNvmIdentify& src);
  // Copies the bytes and the name; fields keep viewing this buffer's bytes.
  OrvNvmIdentify& operator=(const OrvNvmIdentify& src);
  ~OrvNvmIdentify() override;

  // Any length but kLength is refused with code 6, so that the bytes stay
  // where the fields of a derived structure look.
  u64 resize(u32 newLength) override;
  // The name, a newline and the buffer's dump.
  void hexDump(void* file) override;
  void hexDump(std::stringstream& out) override;
  // Appends one item per printed value, in print order; nothing here.
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& list) const;

 protected:
  std::string displayName;

 private:
  std::string identifyDumpText() const;
};

// A field made of named bits: the whole field is the base view, titled; each
// sub-field prints and exports under "title:sub-field name". The sub-fields
// view bytes owned by the structure that holds the field, which is why the
// field cannot be copied.
class OrvNvmCompositeFld : public OrvBufField {
 public:
  OrvNvmCompositeFld(u8* data, u32 byteOffset, u8 lastBit, std::string title);
  OrvNvmCompositeFld(const OrvNvmCompositeFld&) = delete;
  OrvNvmCompositeFld& operator=(const OrvNvmCompositeFld&) = delete;
  ~OrvNvmCompositeFld() override;

  // "%-100s: %llu\n" per sub-field to a runtime FILE* passed untyped;
  // nothing when it is null.
  virtual void print(void* file) const;
  // One item per sub-field: a flag when it is one bit wide, else a number.
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& list) const;

 protected:
  // In print order; set by the derived constructor.
  std::vector<const OrvBufField*> subFields;
};

// The sub-fields of the composite fields, in print order:
//   B(member, first bit, last bit, name)
// Bits count within the little-endian number at the field's offset.
#define ORV_NVM_CMIC_BITS(B)                                   \
  B(controllerFunction, 2, 2, "Controller function")           \
  B(multiController, 1, 1, "Multi-controller supported")       \
  B(multiPciePort, 0, 0, "Multi-PCIe port supported")
#define ORV_NVM_VER_BITS(B)                          \
  B(majorVersion, 16, 31, "Major Version Number")    \
  B(minorVersion, 8, 15, "Minor Version Number")
#define ORV_NVM_OAES_BITS(B)                                                           \
  B(namespaceAttributeNotice, 8, 8, "Namespace attribute changed event supported")     \
  B(firmwareActivationNotice, 9, 9, "Firmware activation notice event supported")
#define ORV_NVM_MEC_BITS(B)                                            \
  B(pcieEndpoint, 1, 1, "Management endpoint on a PCIe port")          \
  B(smbusEndpoint, 0, 0, "Management endpoint on an SMBus/I2C port")
#define ORV_NVM_OACS_BITS(B)                                                                        \
  B(doorbellBufferConfig, 8, 8, "Doorbell Buffer Config supported")                                \
  B(virtualizationManagement, 7, 7, "Virtualization Management supported")                         \
  B(nvmeMi, 6, 6, "NVMe-MI Send and NVMe-MI Receive supported")                                     \
  B(directives, 5, 5, "Directives supported")                                                       \
  B(selfTest, 4, 4, "Self-test supported")                                                          \
  B(namespaceManagement, 3, 3, "Namespace Management and Attachment supported")                    \
  B(firmwareDownload, 2, 2, "Firmware Commit and Firmware Image Download supported")                \
  B(formatNvm, 1, 1, "Format NVM supported")                                                        \
  B(securitySendReceive, 0, 0, "Security Send and Security Receive supported")
#define ORV_NVM_FRMW_BITS(B)                                           \
  B(activeWithoutReset, 4, 4, "Firmware active without reset")         \
  B(slotCount, 1, 3, "Number of firmware slots")                       \
  B(firstSlotReadOnly, 0, 0, "First slot read only")
#define ORV_NVM_LPA_BITS(B)                                            \
  B(telemetryLogs, 3, 3, "Telemetry logs supported")                   \
  B(extendedData, 2, 2, "Extended data for log supported")             \
  B(commandEffectsLog, 1, 1, "Cmd effect log supported")               \
  B(smartPerNamespace, 0, 0, "Smart per namespace supported")
#define ORV_NVM_AVSCC_BITS(B) B(standardFormat, 0, 0, "Admin vendor cmd standard format supported")
#define ORV_NVM_APSTA_BITS(B) B(autonomousTransitions, 0, 0, "Autonomous state trans supported")
#define ORV_NVM_RPMBS_BITS(B)                          \
  B(accessSize, 24, 31, "Access size")                 \
  B(totalSize, 16, 23, "Total size")                   \
  B(authenticationMethod, 3, 5, "Authentication method") \
  B(rpmbUnits, 0, 2, "Number of RPMB units")
#define ORV_NVM_SANICAP_BITS(B)                                        \
  B(overwrite, 2, 2, "Overwrite sanitize support")                     \
  B(blockErase, 1, 1, "Block Erase sanitize support")                  \
  B(cryptoErase, 0, 0, "Crypto Erase sanitize support")
#define ORV_NVM_SQES_BITS(B)                           \
  B(maximumSize, 4, 7, "Maximum SQ entry size")        \
  B(requiredSize, 0, 3, "Required SQ entry size")
#define ORV_NVM_CQES_BITS(B)                           \
  B(maximumSize, 4, 7, "Maximum CQ entry size")        \
  B(requiredSize, 0, 3, "Required CQ entry size")
#define ORV_NVM_ONCS_BITS(B)                                           \
  B(reservations, 5, 5, "Reservation supported")                       \
  B(featureSave, 4, 4, "Feature Save supported")                       \
  B(writeZeroes, 3, 3, "Write Zeroes cmd supported")                   \
  B(datasetManagement, 2, 2, "DSM cmd supported")                      \
  B(writeUncorrectable, 1, 1, "Write Uncorrectable cmd supported")     \
  B(compare, 0, 0, "Compare cmd supported")
#define ORV_NVM_FUSES_BITS(B) B(compareAndWrite, 0, 0, "Compare Write Fused supported")
#define ORV_NVM_FNA_BITS(B)                                                    \
  B(cryptoErase, 2, 2, "Crypt erase supported")                                \
  B(secureEraseAllNamespaces, 1, 1, "Secure erase all namespace supported")    \
  B(formatAllNamespaces, 0, 0, "Format all namespace supported")
#define ORV_NVM_VWC_BITS(B) B(present, 0, 0, "Cache supported")
#define ORV_NVM_NVSCC_BITS(B) B(standardFormat, 0, 0, "NVM vendor cmd standard format supported")
#define ORV_NVM_SGLS_BITS(B)                                           \
  B(largeDataSgl, 18, 18, "Large data SGL supported")                  \
  B(byteAlignedMetadata, 17, 17, "Byte aligned metadata supported")    \
  B(bitBucketSgl, 16, 16, "Bit bucket SGL supported")                  \
  B(sglSupported, 0, 0, "SGL supported")

#define ORV_NVM_NSFEAT_BITS(B)                                                         \
  B(deallocatedBlockError, 2, 2, "Deallocated logical block error supported")          \
  B(namespaceAtomics, 1, 1, "Namespace specific atomic operation supported")           \
  B(thinProvisioning, 0, 0, "Namespace thin provisioning supported")
#define ORV_NVM_FLBAS_BITS(B)                                                  \
  B(metadataAtEnd, 4, 4, "Metadata as extended data LBA supported")            \
  B(currentLbaFormat, 0, 3, "Current LBA format")
#define ORV_NVM_MC_BITS(B)                                                     \
  B(separateMetadata, 1, 1, "Metadata as separate buffer supported")           \
  B(extendedMetadata, 0, 0, "Metadata as extended data LBA supported")
#define ORV_NVM_DPC_BITS(B)                                                                    \
  B(protectionLast, 4, 4, "Protection info as last 8 bytes of metadata supported")            \
  B(protectionFirst, 3, 3, "Protection info as first 8 bytes of metadata supported")          \
  B(protectionType3, 2, 2, "Protection info type-3 supported")                                \
  B(protectionType2, 1, 1, "Protection info type-2 supported")                                \
  B(protectionType1, 0, 0, "Protection info type-1 supported")
#define ORV_NVM_DPS_BITS(B)                                                    \
  B(protectionFirst, 3, 3, "Protection info as first 8 bytes of metadata")     \
  B(protectionType, 0, 2, "Protection info type")
#define ORV_NVM_NMIC_BITS(B) B(sharedNamespace, 0, 0, "Namespace sharing supported")
#define ORV_NVM_RESCAP_BITS(B)                                                                 \
  B(exclusiveAccessAllRegistrants, 6, 6, "Exclusive access all registrants supported")        \
  B(writeExclusiveAllRegistrants, 5, 5, "Write exclusive all registrants supported")          \
  B(exclusiveAccessRegistrantsOnly, 4, 4, "Exclusive access registrants only supported")      \
  B(writeExclusiveRegistrantsOnly, 3, 3, "Write exclusive registrants only supported")        \
  B(exclusiveAccess, 2, 2, "Exclusive access supported")                                       \
  B(writeExclusive, 1, 1, "Write exclusive supported")                                         \
  B(persistThroughPowerLoss, 0, 0, "Persist through power loss supported")
#define ORV_NVM_FPI_BITS(B)                                                            \
  B(supported, 7, 7, "Format progress indicator supported")                            \
  B(percentRemaining, 0, 6, "Percentage of the NS remained to be formatted")
#define ORV_NVM_LBAF_BITS(B)                           \
  B(metadataSize, 0, 15, "Metadata size (MS)")         \
  B(dataSize, 16, 23, "LBA Data size (LBADS)")         \
  B(relativePerformance, 24, 25, "Relative performance (RP)")

// The composite fields of fixed place:
//   K(class, byte offset, last bit of the whole field, title, sub-fields)
// Identify Controller data, in order of byte offset:
#define ORV_NVM_CTRL_BIT_CLASSES(K)                                                                          \
  K(OrvNvmCmicBits, 76, 7, "Controller capability (CMIC)", ORV_NVM_CMIC_BITS)                                \
  K(OrvNvmVerBits, 80, 31, "Version (VER)", ORV_NVM_VER_BITS)                                                \
  K(OrvNvmOaesBits, 92, 31, "Optional async events support (OAES)", ORV_NVM_OAES_BITS)                       \
  K(OrvNvmMecBits, 255, 7, "Management endpoint capability (MEC)", ORV_NVM_MEC_BITS)                        \
  K(OrvNvmOacsBits, 256, 15, "Optional admin cmd support (OACS)", ORV_NVM_OACS_BITS)                         \
  K(OrvNvmFrmwBits, 260, 7, "Firmware updates (FRMW)", ORV_NVM_FRMW_BITS)                                    \
  K(OrvNvmLpaBits, 261, 7, "Log page attr (LPA)", ORV_NVM_LPA_BITS)                                          \
  K(OrvNvmAvsccBits, 264, 7, "Admin vendor specific cmd config (AVSCC)", ORV_NVM_AVSCC_BITS)                 \
  K(OrvNvmApstaBits, 265, 7, "Autonomous power state transition attr (APSTA)", ORV_NVM_APSTA_BITS)           \
  K(OrvNvmRpmbsBits, 312, 31, "Replay protected memory block support (RPMBS)", ORV_NVM_RPMBS_BITS)           \
  K(OrvNvmSaniCapBits, 328, 31, "Sanitize capabilities (SANICAP)", ORV_NVM_SANICAP_BITS)                     \
  K(OrvNvmSqesBits, 512, 7, "Submission queue entry size (SQES)", ORV_NVM_SQES_BITS)                         \
  K(OrvNvmCqesBits, 513, 7, "Completion queue entry size (CQES)", ORV_NVM_CQES_BITS)                         \
  K(OrvNvmOncsBits, 520, 15, "Optional NVM cmd support (ONCS)", ORV_NVM_ONCS_BITS)                           \
  K(OrvNvmFusesBits, 522, 15, "Fused operation support (FUSES)", ORV_NVM_FUSES_BITS)                         \
  K(OrvNvmFnaBits, 524, 7, "Format NVM attr (FNA)", ORV_NVM_FNA_BITS)                                        \
  K(OrvNvmVwcBits, 525, 7, "Volatile write cache (VWC)", ORV_NVM_VWC_BITS)                                   \
  K(OrvNvmNvsccBits, 530, 7, "NVM vendor specific cmd config (NVSCC)", ORV_NVM_NVSCC_BITS)                   \
  K(OrvNvmSglsBits, 536, 31, "SGL support (SGLS)", ORV_NVM_SGLS_BITS)
// Identify Namespace data:
#define ORV_NVM_NS_BIT_CLASSES(K)                                                                            \
  K(OrvNvmNsfeatFld, 24, 7, "Namespace features (NSFEAT)", ORV_NVM_NSFEAT_BITS)                              \
  K(OrvNvmFlbasFld, 26, 7, "Formatted LBA size (FLBAS)", ORV_NVM_FLBAS_BITS)                                 \
  K(OrvNvmMcFld, 27, 7, "Metadata capability (MC)", ORV_NVM_MC_BITS)                                         \
  K(OrvNvmDpcFld, 28, 7, "End-to-end data protection capability (DPC)", ORV_NVM_DPC_BITS)                    \
  K(OrvNvmDpsFld, 29, 7, "End-to-end data protection type settings (DPS)", ORV_NVM_DPS_BITS)                 \
  K(OrvNvmNmicFld, 30, 7, "NS Multi-path I/O and NS sharing capability (NMIC)", ORV_NVM_NMIC_BITS)           \
  K(OrvNvmRescapFld, 31, 7, "Reservation capability (RESCAP)", ORV_NVM_RESCAP_BITS)                          \
  K(OrvNvmFpiFld, 32, 7, "Format progress indicator (FPI)", ORV_NVM_FPI_BITS)

// One class per row: built over the first byte of its identify data, with a
// public member per sub-field.
#define ORV_NVM_SUBFIELD_MEMBER(member, first, last, name) OrvBufField member;
#define ORV_NVM_DECLARE_COMPOSITE(Class, offset, last, title, BITS) \
  class Class : public OrvNvmCompositeFld {                         \
   public:                                                          \
    explicit Class(u8* data);                                       \
    ~Class() override;                                              \
    BITS(ORV_NVM_SUBFIELD_MEMBER)                                   \
  };
ORV_NVM_CTRL_BIT_CLASSES(ORV_NVM_DECLARE_COMPOSITE)
ORV_NVM_NS_BIT_CLASSES(ORV_NVM_DECLARE_COMPOSITE)
#undef ORV_NVM_DECLARE_COMPOSITE

// LBA format descriptor index (0 to 15): the 32 bits at byte 128 + 4 x index
// of the Identify Namespace data. LBADS is the data size as a power of two.
class OrvNvmLbaFmtFld : public OrvNvmCompositeFld {
 public:
  OrvNvmLbaFmtFld(u8* data, u8 index);
  ~OrvNvmLbaFmtFld() override;

  // "LBA format %u" with the index.
  std::string getName() const override;

  ORV_NVM_LBAF_BITS(ORV_NVM_SUBFIELD_MEMBER)

 private:
  u8 index;
};

#undef ORV_NVM_SUBFIELD_MEMBER

// The fields of one power-state descriptor, in print order:
//   P(member, byte, first bit, last bit, name)
#define ORV_NVM_PSTATE_FIELDS(P)                                   \
  P(activePowerScale, 22, 6, 7, "Active Power Scale")             \
  P(activePowerWorkload, 22, 0, 2, "Active Power Workload")       \
  P(activePower, 20, 0, 15, "Active Power")                       \
  P(idlePowerScale, 18, 6, 7, "Idle Power Scale")                 \
  P(idlePower, 16, 0, 15, "Idle Power")                           \
  P(relativeWriteLatency, 15, 0, 4, "Relative Write Latency")     \
  P(relativeWriteThroughput, 14, 0, 4, "Relative Write Throughput") \
  P(relativeReadLatency, 13, 0, 4, "Relative Read Latency")       \
  P(relativeReadThroughput, 12, 0, 4, "Relative Read Throughput") \
  P(exitLatency, 8, 0, 31, "Exit Latency")                        \
  P(entryLatency, 4, 0, 31, "Entry Latency")                      \
  P(nonOperational, 3, 1, 1, "Non-Operational State")             \
  P(maxPowerScale, 3, 0, 0, "Max Power Scale")                    \
  P(maximumPower, 0, 0, 15, "Maximum Power")

// Power-state descriptor index: a window on the 32 bytes at 2048 + 32 x index
// of its Identify Controller data, labelled "Power State%02u".
class OrvNvmPState : public OrvSubBuffer {
 public:
  // A window outside the parent throws code 7.
  OrvNvmPState(OrvBuffer* parent, u8 index);
  ~OrvNvmPState() override;

  // "Power State%02u:<field>" and the value per field, no title line.
  void print(void* file) override;
  std::string getName() const override;
  void collectFields(OrvDevGenData<_OrvDataItem>& list) const;

#define ORV_NVM_PSTATE_MEMBER(member, ...) OrvBufField member;
  ORV_NVM_PSTATE_FIELDS(ORV_NVM_PSTATE_MEMBER)
#undef ORV_NVM_PSTATE_MEMBER

 private:
  u8 index;
};

// The Identify Controller data. The rows, in member order:
//   N(member, byte offset, last bit, name): bits 0..last, a number
//   T(member, byte offset, length, name): a text
//   C(member, class): a composite field
// The 128-bit capacities are two 64-bit numbers each, the upper half (the
// " Qword2" name, never shown) first; they show as one value.
#define ORV_NVM_CTRL_FIELDS(N, T, C)                                                           \
  N(vid, 0, 15, "PCI vendor ID (VID)")                                                         \
  N(ssvid, 2, 15, "PCI subsystem vendor ID (SSVID)")                                           \
  T(sn, 4, 20, "Serial number (SN)")                                                           \
  T(mn, 24, 40, "Model number (MN)")                                                           \
  T(fr, 64, 8, "Firmware revision (FR)")                                                       \
  N(rab, 72, 7, "Recommended arbitration burst (RAB)")                                         \
  N(ieee, 73, 23, "IEEE-OUI identifier (IEEE)")                                                \
  C(cmic, OrvNvmCmicBits)                                                                      \
  N(mdts, 77, 7, "Maximum data transfer size (MDTS)")                                          \
  N(cntlid, 78, 15, "Controller ID (CNTLID)")                                                  \
  C(ver, OrvNvmVerBits)                                                                        \
  N(rtd3r, 84, 31, "RTD3 resume latency (RTD3R)")                                              \
  N(rtd3e, 88, 31, "RTD3 entry latency (RTD3E)")                                               \
  C(oaes, OrvNvmOaesBits)                                                                      \
  C(mec, OrvNvmMecBits)                                                                        \
  C(oacs, OrvNvmOacsBits)                                                                      \
  N(acl, 258, 7, "Abort cmd limit (ACL)")                                                      \
  N(aerl, 259, 7, "Asynchronous event request limit (AERL)")                                   \
  C(frmw, OrvNvmFrmwBits)                                                                      \
  C(lpa, OrvNvmLpaBits)                                                                        \
  N(elpe, 262, 7, "Error log page entries (ELPE)")                                             \
  N(npss, 263, 7, "Number of power states support (NPSS)")                                     \
  C(avscc, OrvNvmAvsccBits)                                                                    \
  C(apsta, OrvNvmApstaBits)                                                                    \
  N(wctemp, 266, 15, "Warning composite temperature threshold (WCTEMP)")                       \
  N(cctemp, 268, 15, "Critical composite temperature threshold (CCTEMP)")                      \
  N(mtfa, 270, 15, "Maximum-time for firmware activation (MTFA)")                              \
  N(hmpre, 272, 31, "Host memory buffer preferred size (HMPRE)")                               \
  N(hmmin, 276, 31, "Host memory buffer minimum size (HMMIN)")                                 \
  N(tnvmcapQword2, 288, 63, "Total NVM capacity (TNVMCAP) Qword2")                             \
  N(tnvmcap, 280, 63, "Total NVM capacity (TNVMCAP)")                                          \
  N(unvmcapQword2, 304, 63, "Unallocated NVM capacity (UNVMCAP) Qword2")                       \
  N(unvmcap, 296, 63, "Unallocated NVM capacity (UNVMCAP)")                                    \
  C(rpmbs, OrvNvmRpmbsBits)                                                                    \
  C(sanicap, OrvNvmSaniCapBits)                                                                \
  C(sqes, OrvNvmSqesBits)                                                                      \
  C(cqes, OrvNvmCqesBits)                                                                      \
  N(nn, 516, 31, "Number of namespaces (NN)")                                                  \
  C(oncs, OrvNvmOncsBits)                                                                      \
  C(fuses, OrvNvmFusesBits)                                                                    \
  C(fna, OrvNvmFnaBits)                                                                        \
  C(vwc, OrvNvmVwcBits)                                                                        \
  N(awun, 526, 15, "Atomic write unit normal (AWUN)")                                          \
  N(awupf, 528, 15, "Atomic write unit power fail (AWUPF)")                                    \
  C(nvscc, OrvNvmNvsccBits)                                                                    \
  N(acwu, 532, 15, "Atomic compare and write unit (ACWU)")                                     \
  C(sgls, OrvNvmSglsBits)

// The 32 power-state descriptors and the vendor's component id follow the
// rows; the descriptors print and export from 0 up to NPSS (at most 31).
class OrvNvmCtrlIdentify : public OrvNvmIdentify {
 public:
  static constexpr u32 kPowerStates = 32;

  OrvNvmCtrlIdentify();
  // Bytes and name of src; every field views the copy's own bytes.
  OrvNvmCtrlIdentify(const OrvNvmCtrlIdentify& src);
  OrvNvmCtrlIdentify& operator=(const OrvNvmCtrlIdentify& src);
  ~OrvNvmCtrlIdentify() override;

  // "Controller identify data::" and one line per value, to a runtime FILE*
  // passed untyped; nothing when it is null.
  void print(void* file) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& list) const override;

#define ORV_NVM_NUMBER_MEMBER(member, offset, last, name) \
  OrvBufField member{data, offset, 0, last, name, ORV_LITTLE_ENDIAN};
#define ORV_NVM_TEXT_MEMBER(member, offset, size, name) \
  OrvBufAscFld member{data, offset, size, name, ORV_LITTLE_ENDIAN};
#define ORV_NVM_COMPOSITE_MEMBER(member, Class) Class member{data};
  ORV_NVM_CTRL_FIELDS(ORV_NVM_NUMBER_MEMBER, ORV_NVM_TEXT_MEMBER, ORV_NVM_COMPOSITE_MEMBER)
  std::array<OrvNvmPState, kPowerStates> powerStates =
      orvNvmIndexed<OrvNvmPState>(static_cast<OrvBuffer*>(this), std::make_index_sequence<kPowerStates>());
  ORV_NVM_TEXT_MEMBER(componentId, 3126, 8, "Component ID")

 private:
  template <typename Self, typename Sink>
  static void forEachEntry(Self& self, Sink& sink);
};

// The Identify Namespace data. The rows, in member order:
//   N(member, byte offset, last bit, name, byte order): bits 0..last
//   C(member, class): a composite field
// NVMCAP is 128 bits and NGUID 128 bits read as two big-endian quadwords;
// each shows as one value, its second quadword declared first.
#define ORV_NVM_NS_FIELDS(N, C)                                                                        \
  N(nsze, 0, 63, "Namespace size (NSZE)", ORV_LITTLE_ENDIAN)                                           \
  N(ncap, 8, 63, "Namespace capacity (NCAP)", ORV_LITTLE_ENDIAN)                                       \
  N(nuse, 16, 63, "Namespace utilization (NUSE)", ORV_LITTLE_ENDIAN)                                   \
  C(nsfeat, OrvNvmNsfeatFld)                                                                           \
  N(nlbaf, 25, 7, "Number of LBA formats (NLBAF)", ORV_LITTLE_ENDIAN)                                  \
  C(flbas, OrvNvmFlbasFld)                                                                             \
  C(mc, OrvNvmMcFld)                                                                                   \
  C(dpc, OrvNvmDpcFld)                                                                                 \
  C(dps, OrvNvmDpsFld)                                                                                 \
  C(nmic, OrvNvmNmicFld)                                                                               \
  C(rescap, OrvNvmRescapFld)                                                                           \
  C(fpi, OrvNvmFpiFld)                                                                                 \
  N(nawun, 34, 15, "Namespace atomic write unit normal (NAWUN)", ORV_LITTLE_ENDIAN)                    \
  N(nawupf, 36, 15, "Namespace atomic write unit power fail (NAWUPF)", ORV_LITTLE_ENDIAN)              \
  N(nacwu, 38, 15, "Namespace atomic compare and write unit (NACWU)", ORV_LITTLE_ENDIAN)               \
  N(nabsn, 40, 15, "Namespace atomic boundary size normal (NABSN)", ORV_LITTLE_ENDIAN)                 \
  N(nabo, 42, 15, "Namespace atomic boundary offset (NABO)", ORV_LITTLE_ENDIAN)                        \
  N(nabspf, 44, 15, "Namespace atomic boundary size power fail (NABSPF)", ORV_LITTLE_ENDIAN)           \
  N(nvmcapQword2, 56, 63, "NVM capacity qword2 (NVMCAP)", ORV_LITTLE_ENDIAN)                           \
  N(nvmcap, 48, 63, "NVM capacity (NVMCAP)", ORV_LITTLE_ENDIAN)                                        \
  N(nguidQword2, 112, 63, "Namespace globally unique identifier (NGUID) QWord2", ORV_BIG_ENDIAN)       \
  N(nguid, 104, 63, "Namespace globally unique identifier (NGUID)", ORV_BIG_ENDIAN)                    \
  N(eui64, 120, 63, "IEEE extended unique identifier (EUI64)", ORV_LITTLE_ENDIAN)

// The LBA formats 0 to 15 follow the rows; they print and export from 0 up
// to NLBAF (at most 15).
class OrvNvmNsIdentify : public OrvNvmIdentify {
 public:
  static constexpr u32 kLbaFormats = 16;

  OrvNvmNsIdentify();
  // Bytes and name of src; every field views the copy's own bytes.
  OrvNvmNsIdentify(const OrvNvmNsIdentify& src);
  OrvNvmNsIdentify& operator=(const OrvNvmNsIdentify& src);
  ~OrvNvmNsIdentify() override;

  // The held descriptor of an LBA format; an index above 15 throws code 25.
  OrvNvmLbaFmtFld* getLbaFormat(u8 index);

  // "Namespace identify data::" and one line per value, to a runtime FILE*
  // passed untyped; nothing when it is null.
  void print(void* file) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& list) const override;

#define ORV_NVM_NS_NUMBER_MEMBER(member, offset, last, name, order) \
  OrvBufField member{data, offset, 0, last, name, order};
  ORV_NVM_NS_FIELDS(ORV_NVM_NS_NUMBER_MEMBER, ORV_NVM_COMPOSITE_MEMBER)
#undef ORV_NVM_NS_NUMBER_MEMBER
  std::array<OrvNvmLbaFmtFld, kLbaFormats> lbaFormats =
      orvNvmIndexed<OrvNvmLbaFmtFld>(data, std::make_index_sequence<kLbaFormats>());

 private:
  template <typename Self, typename Sink>
  static void forEachEntry(Self& self, Sink& sink);
};

#undef ORV_NVM_NUMBER_MEMBER
#undef ORV_NVM_TEXT_MEMBER
#undef ORV_NVM_COMPOSITE_MEMBER

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
