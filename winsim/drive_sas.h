// A SAS drive: a SCSI target with its own identity.
#pragma once

#include "winsim/drive.h"
#include "winsim/scsi_target.h"

namespace winsim {

class SasDrive : public Drive, public ScsiTarget {
 public:
  SasDrive(Machine& machine, rapidjson::Value& record, uint32_t number);
  ScsiTarget* scsi() override { return this; }

  std::string vendorId() const override { return padded(vendor(), 8); }
  std::string productId() const override { return padded(model(), 16); }
  std::string revision() const override { return padded(firmware(), 4); }
  std::string unitSerial() const override { return serial(); }
  std::vector<std::vector<uint8_t>> designators() const override;
};

std::unique_ptr<Drive> makeSasDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

}  // namespace winsim
