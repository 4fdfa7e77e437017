// The command base and the device list without drives: file names of drive
// ids, post-command action texts, numbers and blanks of arguments, and the
// device list's rules for a drive listed twice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdlib/cmdlib_devlist.h"
#include "cmdlib/cmdlib_gencmd.h"
#include "osl/osl_model.h"
#include "osl/osl_platform.h"
#include "unit/lock_helpers.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuDevList;
using DivizuCmdlib::DivIzuGenCmd;
using VazidaRaduru::_OrvDevProperty;

namespace {

constexpr u32 kGenCmdFile = 51;

// The base's helpers for arguments, without a drive.
class Arguments : public DivIzuGenCmd {
 public:
  Arguments() : DivIzuGenCmd("", 0, 0, false, false) {}
  u64 execute() override { return 0; }
  using DivIzuGenCmd::parseNumericValue;
  using DivIzuGenCmd::trimStr;
};

class Listing : public DivIzuDevList {
 public:
  using DivIzuDevList::markDuplicates;
};

TEST(DriveIdFileName, SpecialCharactersByPosition) {
  // Each change searches again from the start.
  const std::pair<const char*, const char*> cases[] = {
      {"SCSI1:r0", "SCSI1_r0"}, {"\\PHYSICALDRIVE0", "PHYSICALDRIVE0"}, {"raid_b:", "raid_b"},
      {"a*b?c\"d<e>f|g/h", "a_b_c_d_e_f_g_h"}, {"::a", "a"}, {"a::", "a_"}, {"\\/x", "x"}, {":", ""}};
  for (const auto& c : cases) EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName(c.first), c.second) << c.first;
}

TEST(PostCommandAction, TextsAndUnknownValues) {
  const char* texts[] = {"No operation", "System Reboot", "Power down", "Power cycle", "Full power down",
                         "Full power cycle"};
  for (u32 action = 0; action < 6; ++action)
    EXPECT_EQ(DivIzuGenCmd::postCmdActionStr(static_cast<VazidaRaduru::_OrvPostCmdAction>(action)),
              texts[action]);
  EXPECT_EQ(DivIzuGenCmd::postCmdActionStr(static_cast<VazidaRaduru::_OrvPostCmdAction>(6)), "No operation");
}

TEST(NumericArguments, DecimalAndHexadecimal) {
  struct Case {
    const char* text;
    u64 value;
  } good[] = {{"0x001F", 31}, {"00042", 42}, {"000", 0}, {"ff", 255}, {"0x0", 0},
              {"999999999999999", 999999999999999ull}, {"FFFFFFFFFFFF", 0xFFFFFFFFFFFFull}};
  for (const Case& c : good) {
    u64 value = 1;
    EXPECT_EQ(Arguments::parseNumericValue(c.text, value), 0u) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  u64 value = 7;
  u64 status = Arguments::parseNumericValue("", value);
  EXPECT_TRUE(isLibStatus(status, 30, kGenCmdFile));
  EXPECT_EQ((status >> 32) & 0xFFFF, 368u);
  EXPECT_TRUE(isLibStatus(Arguments::parseNumericValue("12G", value), 35, kGenCmdFile));
  EXPECT_TRUE(isLibStatus(Arguments::parseNumericValue("-1", value), 35, kGenCmdFile));
  status = Arguments::parseNumericValue("1000000000000000", value);
  EXPECT_TRUE(isLibStatus(status, 35, kGenCmdFile));
  EXPECT_EQ((status >> 32) & 0xFFFF, 401u);
  EXPECT_TRUE(isLibStatus(Arguments::parseNumericValue("0x1000000000000", value), 35, kGenCmdFile));
  EXPECT_EQ(value, 7u);
}

TEST(TextArguments, BlanksAndTabsAtBothEnds) {
  std::string text = " \t a b\t ";
  Arguments::trimStr(text);
  EXPECT_EQ(text, "a b");
  text = " \t\t ";
  Arguments::trimStr(text);
  EXPECT_EQ(text, "");
}

constexpr osl_dev_type kKindOfBus = static_cast<osl_dev_type>(0);

// A record of a SATA drive (on a phy, or a physical drive on a SATA or SAS
// bus) or of an NVMe drive (a RAID record of a target, or on the NVMe bus),
// unless the kind is given.
_OrvDevProperty record(const char* name, const char* serial, osl_bus_type bus, u32 medium,
                       const char* model = "MODEL A", u8 modelField = OSL_MODEL_FIELD,
                       osl_dev_type kind = kKindOfBus) {
  _OrvDevProperty property = {};
  bool nvme = bus == OSL_BUS_NVME || std::strstr(name, ":r") != nullptr;
  property.deviceType = kind != kKindOfBus ? kind : nvme ? OSL_DEV_NVME : OSL_DEV_ATA;
  std::strcpy(property.deviceName, name);
  std::strcpy(property.serialNumber, serial);
  std::strcpy(property.modelNumber, model);
  property.modelField = modelField;
  property.commandBus = bus;
  property.medium = medium;
  property.usable = 1;
  return property;
}

std::string usable(const std::vector<_OrvDevProperty>& records) {
  std::string flags;
  for (const _OrvDevProperty& property : records) flags += property.usable ? '1' : '0';
  return flags;
}

TEST(DriveListedTwice, UsableInOneRecord) {
  using Records = std::vector<_OrvDevProperty>;
  const _OrvDevProperty nvme0 = record("PHYSICALDRIVE0", "S1", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE),
                        raid0 = record("SCSI0:r0", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE);
  _OrvDevProperty unusable = record("SCSI0:r2", "S3", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE);
  unusable.usable = 0;
  const std::pair<Records, const char*> cases[] = {
      // An NVMe drive seen as a physical drive and behind the RAID driver,
      // in either order: usable behind the RAID driver.
      {{nvme0, raid0}, "01"},
      {{raid0, record("physicaldrive3", "S1", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE)}, "10"},
      // Two physical drives with one serial number both stay.
      {{record("PHYSICALDRIVE0", "S1", OSL_BUS_SATA, OSL_MEDIUM_ROTATING),
        record("PHYSICALDRIVE1", "S1", OSL_BUS_SAS, OSL_MEDIUM_ROTATING)}, "11"},
      // A RAID record without a serial number never; serial numbers compare
      // exactly; an unusable record is no duplicate.
      {{record("SCSI0:r0", "", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("SCSI0:r1", "S2", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("PHYSICALDRIVE1", "s2", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE),
        record("PHYSICALDRIVE2", "S3", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE), unusable}, "01110"},
      // Nor is a physical drive without one given up for it.
      {{record("PHYSICALDRIVE0", "", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE),
        record("SCSI0:r0", "", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE)}, "10"},
      // A RAID driver lists each drive once: two records of one controller
      // are two drives, whatever their media.
      {{record("SCSI0:r0", "S1", OSL_BUS_CSMI, OSL_MEDIUM_ROTATING),
        record("SCSI0:r3", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("SCSI1:r1", "S2", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("SCSI1:p4", "S2", OSL_BUS_CSMI, OSL_MEDIUM_ROTATING)}, "1111"},
      // A physical drive of another model is another drive; a model read
      // from a shorter field (a SCSI product id) may be the start of the
      // other, a drive may report its maker's name first, and one of no
      // model known may be any.
      {{record("SCSI0:r0", "SH", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL B"),
        record("PHYSICALDRIVE0", "SH", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL A"),
        record("PHYSICALDRIVE1", "S1", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "VIRTUAL DRIVE 2T", 16),
        record("SCSI0:p1", "S1", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "VIRTUAL DRIVE 2TB"),
        record("PHYSICALDRIVE2", "S2", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "VIRTUAL DRIVE 3T", 16),
        record("SCSI0:p2", "S2", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "VIRTUAL DRIVE 2TB"),
        record("PHYSICALDRIVE3", "S3", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "ORVENTA MODEL A"),
        record("SCSI0:p3", "S3", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN),
        record("PHYSICALDRIVE4", "S4", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "", 0),
        record("SCSI0:p4", "S4", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN),
        record("PHYSICALDRIVE5", "S5", OSL_BUS_SATA, OSL_MEDIUM_ROTATING, "VIRTUAL DRIVE 2TB"),
        record("SCSI0:p5", "S5", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "VIRTUAL DRIVE 2T", 16),
        record("PHYSICALDRIVE6", "S6", OSL_BUS_SATA, OSL_MEDIUM_ROTATING, "VIRTUAL DRIVE 2TB"),
        record("SCSI0:p6", "S6", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "", 0)}, "11011101010101"},
      // A physical drive is a RAID record's drive only when it is a drive of
      // the same kind: a SAS drive never is, an NVMe drive is no SATA drive
      // on a phy nor a SATA drive an NVMe member. One whose kind its
      // identifiers did not tell may be either.
      {{record("PHYSICALDRIVE0", "SH", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "VIRTUAL DRIVE 2T", 16, OSL_DEV_SCSI),
        record("SCSI0:p0", "SH", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "VIRTUAL DRIVE 2T EXTRA"),
        record("PHYSICALDRIVE1", "S1", OSL_BUS_SAS, OSL_MEDIUM_ROTATING, "NVMe MODEL A", OSL_MODEL_FIELD, OSL_DEV_SCSI),
        record("SCSI0:r1", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL A"),
        record("PHYSICALDRIVE2", "S2", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL A"),
        record("SCSI0:p2", "S2", OSL_BUS_CSMI, OSL_MEDIUM_UNKNOWN, "NVMe MODEL A"),
        record("PHYSICALDRIVE3", "S3", OSL_BUS_SATA, OSL_MEDIUM_ROTATING, "NVMe MODEL A"),
        record("SCSI0:r3", "S3", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL A"),
        record("PHYSICALDRIVE4", "S4", OSL_BUS_RAID, OSL_MEDIUM_UNKNOWN, "NVMe MODEL A", 16, OSL_DEV_NONE),
        record("SCSI0:r4", "S4", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE, "NVMe MODEL A")}, "1111111101"},
      // Records of two controllers are two drives, whatever their names; the
      // physical drive still gives way to the RAID records.
      {{record("SCSI0:r3", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("SCSI1:r3", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("SCSI12:r0", "S1", OSL_BUS_CSMI, OSL_MEDIUM_SOLID_STATE),
        record("PHYSICALDRIVE4", "S1", OSL_BUS_NVME, OSL_MEDIUM_SOLID_STATE)}, "1110"},
  };
  for (const auto& c : cases) {
    Records records = c.first;
    Listing::markDuplicates(records);
    EXPECT_EQ(usable(records), c.second);
  }
}

TEST(DriveListedTwice, ModelReadWholeOrFromAShorterField) {
  const struct {
    const char* read;
    u32 field;
    const char* model;
    bool may;
  } cases[] = {
      {"MODEL A", OSL_MODEL_FIELD, "MODEL A", true},
      {"ORVENTA MODEL A", OSL_MODEL_FIELD, "MODEL A", true},
      {"MODEL A", OSL_MODEL_FIELD, "MODEL A ", false},
      {"MODEL A", OSL_MODEL_FIELD, " MODEL A", false},
      {"MODEL A", OSL_MODEL_FIELD, "MODEL AB", false},
      // A field that cuts the model, just after a blank or not.
      {"NVMe MODEL ABCD", 16, "NVMe MODEL ABCD EFG", true},
      {"VIRTUAL DRIVE 2T", 16, "VIRTUAL DRIVE 2TB", true},
      {"VIRTUAL DRIVE 2", 16, "VIRTUAL DRIVE 2TB", false},
      {"ORVENTA VIRTUAL ", 16, "VIRTUAL DRIVE", false},
      {"ORVENTA VIRTUAL", 16, "VIRTUAL DRIVE", true},
      {"", 0, "ANY MODEL", true},
      // The blanks before a model are padding, also where the field cuts it:
      // they take its room there.
      {" MODEL A", OSL_MODEL_FIELD, "MODEL A", true},
      {" NVMe MODEL A", 16, "NVMe MODEL A", true},
      {" NVMe MODEL A LO", 16, "NVMe MODEL A LONG NAME", true},
      {"NVMe MODEL A LO", 16, "NVMe MODEL A LONG NAME", false},
      {"  NVMe MODEL A L", 16, " NVMe MODEL A LONG NAME", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(osl_may_be_model(c.read, c.field, c.model), c.may) << c.read << "|" << c.model;
    if (c.field == OSL_MODEL_FIELD) {
      EXPECT_EQ(osl_is_model(c.read, c.model), c.may) << c.read;
    }
  }
  // Read whole, a model is never the start of the package's.
  EXPECT_FALSE(osl_is_model("VIRTUAL DRIVE 2T", "VIRTUAL DRIVE 2TB"));
  // Two readings: either may be the other's, cut or with the maker's name,
  // whichever is given first.
  const struct {
    const char* cut;
    const char* whole;
    bool may;
  } pairs[] = {{" NVMe MODEL A LO", " NVMe MODEL A LONG NAME", true},
               {"NVMe MODEL A", "ORVENTA NVMe MODEL A", true},
               {"NVMe MODEL A LO", " NVMe MODEL A LONG NAME", false}};
  for (const auto& pair : pairs) {
    EXPECT_EQ(osl_may_be_one_model(pair.whole, OSL_MODEL_FIELD, pair.cut, 16), pair.may) << pair.cut;
    EXPECT_EQ(osl_may_be_one_model(pair.cut, 16, pair.whole, OSL_MODEL_FIELD), pair.may) << pair.cut;
  }
}

// Drive lock files in a lock folder of the test's own, on either host.
class LockFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    size_t length = 0;
    char value[512] = {};
    if (getenv_s(&length, value, sizeof value, "programdata") == 0) saved_ = value;
    _putenv_s("programdata", scratch_.path().c_str());
  }
  void TearDown() override { _putenv_s("programdata", saved_.c_str()); }

  ScratchFolder scratch_;
  LockFolder locks_{scratch_.path()};
  std::string saved_;
};

TEST_F(LockFiles, TakenAndGivenBackStaleAndOddFilesGiveWay) {
  std::string own = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(LockingCommand("SCSI2:r1").forceOpUnlock(), 0u) << "nothing to give back";
  {
    LockingCommand command("SCSI2:r1");
    ASSERT_EQ(command.forceOpLock(), 0u);
    EXPECT_EQ(locks_.read("SCSI2_r1"), own);
  }
  EXPECT_FALSE(locks_.exists("SCSI2_r1"));
  // This test program is no program of the system, and the other process
  // does not run.
  for (std::string held : {own, std::string("F:2147483644"), std::string("junk"), std::string(""),
                           std::string("1234567890123")}) {
    locks_.write("PHYSICALDRIVE7", held);
    std::string owner;
    EXPECT_EQ(LockingCommand::isDevOpLocked("PHYSICALDRIVE7", owner), 0u) << held;
    LockingCommand command("PHYSICALDRIVE7");
    ASSERT_EQ(command.forceOpLock(), 0u) << held;
    EXPECT_EQ(locks_.read("PHYSICALDRIVE7"), own);
    EXPECT_EQ(command.forceOpUnlock(), 0u);
    EXPECT_FALSE(locks_.exists("PHYSICALDRIVE7"));
  }
}

}  // namespace
