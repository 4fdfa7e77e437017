#include "winsim/drive_sas.h"

#include <cstdio>

namespace winsim {
namespace {

constexpr uint8_t PROTOCOL_SAS = 0x60;
constexpr uint8_t BINARY = 0x01;
constexpr uint8_t UTF8 = 0x03;
constexpr uint8_t PIV = 0x80;
constexpr uint8_t LOGICAL_UNIT = 0x00;
constexpr uint8_t TARGET_PORT = 0x10;
constexpr uint8_t TARGET_DEVICE = 0x20;
constexpr uint8_t NAA = 0x03;
constexpr uint8_t RELATIVE_PORT = 0x04;
constexpr uint8_t SCSI_NAME = 0x08;

}  // namespace

SasDrive::SasDrive(Machine& machine, rapidjson::Value& record, uint32_t number)
    : Drive(machine, record, number), ScsiTarget(static_cast<Drive&>(*this)) {}

std::vector<std::vector<uint8_t>> SasDrive::designators() const {
  uint64_t name = worldWideName();
  char text[24];
  std::snprintf(text, sizeof text, "naa.%016llX", static_cast<unsigned long long>(name));
  std::vector<uint8_t> nameString(text, text + 20);
  return {
      designator(BINARY, LOGICAL_UNIT | NAA, bigEndian(name, 8)),
      designator(PROTOCOL_SAS | BINARY, PIV | TARGET_PORT | NAA, bigEndian(name + 1, 8)),
      designator(PROTOCOL_SAS | BINARY, PIV | TARGET_PORT | RELATIVE_PORT, bigEndian(1, 4)),
      designator(PROTOCOL_SAS | UTF8, PIV | TARGET_DEVICE | SCSI_NAME, nameString),
  };
}

std::unique_ptr<Drive> makeSasDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  return std::make_unique<SasDrive>(machine, record, number);
}

}  // namespace winsim
