// Drives the run could not read, named by the real VORMEL executable: a
// drive is judged by all the run read of it, its own reasons are given whole
// and kept however many other disks may be it, and the drives past the
// named ones are counted once per model.
#include <string>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

// One run: the machine, the package's model, and what the run must give.
struct Row {
  std::string machine;
  std::string model;  // the package's
  int exitCode;
  std::string reported;  // in the console's two streams; empty: no drive named
  std::vector<std::string> drives = {};  // the plain drives' revisions afterwards
  std::string window = "";  // in the progress window too
};

class UnreadReasons : public Vormel {
 protected:
  void check(const Row& c) {
    scratch_.write("package.bin", packageBytes([&] {
                     PackageSpec spec;
                     spec.model = c.model;
                     return spec;
                   }()));
    Outcome result = run(c.machine, {"/log=run.log"}, {{"WINSIM_RCDATA_104", "package.bin"}});
    EXPECT_EQ(result.exitCode, c.exitCode) << c.machine << "\n" << result.out << result.err;
    if (c.reported.empty()) {
      EXPECT_EQ(result.err, "") << c.machine;
    } else {
      EXPECT_NE((result.out + result.err).find(c.reported), std::string::npos) << c.reported << "\n" << result.err;
    }
    if (!c.window.empty()) {
      EXPECT_NE(result.window.find(c.window), std::string::npos) << c.window << "\n" << result.window;
    }
    if (!c.drives.empty()) {
      EXPECT_EQ(revisions(), c.drives) << c.machine;
    }
  }
};

// A disk a RAID driver presents, and a machine of plain drives and RAID
// controllers (each a list of such disks).
std::string disk(const std::string& model, const std::string& serial, int number, const std::string& more = "") {
  return R"({"bus": "nvme", "model": ")" + model + R"(", "serial": ")" + serial + R"(", "number": )" +
         std::to_string(number) + more + "}";
}
// A RAID controller presenting these disks, with these RAID sets' members.
std::string controller(const std::string& disks, const std::string& members = "") {
  return R"({"kind": "csmi", "drives": [)" + disks + R"(], "raidSets": [)" +
         (members.empty() ? "" : R"({"drives": [)" + members + "]}") + "]}";
}
std::string machine(const std::string& plain, const std::vector<std::string>& controllers, const std::string& faults) {
  std::string ports;
  for (const std::string& disks : controllers)
    ports += (ports.empty() ? "" : ", ") + (disks.rfind(R"({"kind")", 0) == 0 ? disks : controller(disks));
  return R"({"admin": true, "windows": "10.0", "drives": [)" + plain + R"(], "controllers": [)" + ports +
         R"(], "faults": [)" + faults + "]}";
}
std::string untold(int number, const std::string& more = "") {
  return R"({"cfgmgr32": "CM_Get_Parent", "drive": )" + std::to_string(number) + more + "}";
}
// The interface path of the NVMe disk of this device number, which names
// its product id.
std::string diskPath(const std::string& product, int number) {
  return "\\\\?\\scsi#disk&ven_nvme&prod_" + product + "#4&" + std::to_string(number) +
         "&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}
// Why the disk cannot be read.
std::string untoldText(const std::string& product, int number) {
  return diskPath(product, number) + ": its RAID controller cannot be told (CM_Get_Parent failed (CONFIGRET: 13))";
}
std::string propertyText(const std::string& product, int number) {
  return diskPath(product, number) + ": IOCTL_STORAGE_QUERY_PROPERTY failed (error: 31)";
}
std::string faultAt(const std::string& fault, int number, int after) {
  return fault + R"(, "drive": )" + std::to_string(number) + R"(, "after": )" + std::to_string(after) +
         R"(, "times": 1})";
}
const std::string kPropertyFault = R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY")";
const std::string kParentFault = R"({"cfgmgr32": "CM_Get_Parent")";
// The package's drive beside disks whose controller cannot be told: 16 of
// model B, then those of the models given.
std::string pastSixteen(const std::string& plainModel, std::vector<std::string> models) {
  models.insert(models.begin(), 16, "NVMe MODEL B");
  std::string disks, faults;
  for (size_t i = 0; i < models.size(); ++i) {
    disks += (i ? ", " : "") + disk(models[i], "SH", static_cast<int>(i) + 1);
    faults += (i ? ", " : "") + untold(static_cast<int>(i) + 1);
  }
  return machine(R"({"bus": "nvme", "model": ")" + plainModel + R"(", "serial": "N0"})", {disks}, faults);
}

TEST_F(UnreadReasons, EachDriveJudgedByAllTheRunReadOfIt) {
  // A drive on the second controller whose own disk cannot be told as it is
  // probed, beside 16 disks of its model on the first that never can.
  std::string others, faults, entry = "SCSI1:r5: Query on device failed (";
  for (int i = 0; i < 16; ++i) {
    others += (i ? ", " : "") + disk("NVMe MODEL A 2TB X", "U" + std::to_string(i), 20 + i,
                                     R"(, "target": )" + std::to_string(40 + i));
    faults += untold(20 + i) + ", ";
    if (i < 15) entry += untoldText("nvme_model_a_2tb", 20 + i) + "; ";
  }
  entry += "1 more (see the log); " + untoldText("nvme_model_a_2tb", 10) + ")\n";
  std::vector<std::string> cModels = {"NVMe MODEL C", " NVMe MODEL C", "  NVMe MODEL C", "   NVMe MODEL C",
                                      "    NVMe MODEL C"};
  for (int i = 1; i <= 11; ++i) cModels.push_back("NVMe MODEL D" + std::to_string(i));
  cModels.push_back("NVMe MODEL E");
  const Row cases[] = {
      // The opening knows 16 characters of the drive's model, which may be
      // the maker's name and model B; the run read it whole.
      {machine("", {disk("ORVENTA NVMe MODEL A", "D5", 5) + ", " + disk("NVMe MODEL B", "D6", 200)},
               untold(200) + ", " + untold(5, R"(, "after": 4, "times": 1)")),
       "NVMe MODEL A", 1,
       "[SCSI0:r0] Error description: ORVERR19: Query on device failed (" + untoldText("orventa_nvme_mod", 5) +
           ").\n",
       {}},
      {machine("", {others, disk("NVMe MODEL A 2TB X", "S0", 10, R"(, "target": 5)")},
               faults + R"({"cfgmgr32": "CM_Get_Parent", "after": 1, "times": 1})"),
       "NVMe MODEL A 2TB X", 1, entry, {}},
      // Past the named disks, one model read with blanks before it counts
      // once; a reading that fills its field is a model of its own.
      {pastSixteen("NVMe MODEL A", cModels), "NVMe MODEL A", 0, "", {"REV00002"}},
      {pastSixteen("NVMe MODEL A LONG NAME", {"NVMe MODEL A LO", " NVMe MODEL A LONG NAME"}), "NVMe MODEL A LONG NAME",
       1, "\n1 more (see the log)\n", {"REV00002"}},
      // A drive that reports no model may be the package's.
      {R"({"admin": true, "drives": [{"bus": "sata", "model": "MODEL A", "serial": "S1"},
                                     {"bus": "sata", "model": "    ", "serial": "S2"}]})",
       "MODEL A", 1, "\nPHYSICALDRIVE1: the drive reports no model number\n", {"REV00002", "REV00001"}},
      // The NVMe driver's descriptor holds the drive's whole model: one
      // shorter than the package's is another.
      {R"({"admin": true, "drives": [{"bus": "nvme", "model": "NVMe MODEL A LONG NAME", "serial": "N0"},
                                     {"bus": "nvme", "model": "NVMe MODEL A LON", "serial": "N1"}],
          "faults": [{"nvme": 6, "drive": 1, "cns": 1}]})",
       "NVMe MODEL A LONG NAME", 0, "", {"REV00002", "REV00001"}},
  };
  for (const Row& c : cases) check(c);
}

// Disks of these models whose controller can never be told, from device
// number 20 and at targets from 40, no drive's: their records and faults.
std::pair<std::string, std::string> untoldDisks(const std::vector<std::string>& models) {
  std::string disks, faults;
  for (size_t i = 0; i < models.size(); ++i) {
    int number = 20 + static_cast<int>(i);
    disks += (i ? ", " : "") + disk(models[i], "U" + std::to_string(i), number, R"(, "target": )" + std::to_string(40 + i));
    faults += untold(number) + ", ";
  }
  return {disks, faults};
}
// The texts of `count` disks numbered from `first`, each followed by "; ".
std::string texts(std::string (*text)(const std::string&, int), const std::string& product, int first, int count) {
  std::string joined;
  for (int number = first; number < first + count; ++number) joined += text(product, number) + "; ";
  return joined;
}
std::vector<std::string> times(size_t count, const std::string& model) { return std::vector<std::string>(count, model); }
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(UnreadReasons, DrivesOwnTextsToldByPlaceJudgedByModel) {
  const std::string a = "NVMe MODEL A 2TB X", product = "nvme_model_a_2tb", b = "NVMe MODEL B";
  const std::string described = "Error description: ORVERR19: Query on device failed (";
  const auto sixteen = untoldDisks(times(16, a)), seventeen = untoldDisks(times(17, a));
  const auto bFirst = untoldDisks(times(8, b) + times(9, a)), aFirst = untoldDisks(times(8, a) + times(9, b));
  const std::string s0 = disk(a, "S0", 10, R"(, "target": 5)");
  std::string plain, plainFaults, unnamed;
  for (int i = 0; i < 18; ++i) plain += (i ? ", " : "") + disk(a, "P" + std::to_string(i), i);
  for (int i = 0; i < 17; ++i) plainFaults += kPropertyFault + R"(, "drive": )" + std::to_string(i) + "}, ";
  for (int i = 0; i < 16; ++i) unnamed += disk("NVMe MODEL A", "0000_0000", i) + ", ";
  std::vector<std::string> bControllers;
  std::string bFaults;
  for (int i = 0; i < 16; ++i) {
    bControllers.push_back(disk(b, "B" + std::to_string(i), 20 + i));
    bFaults += untold(20 + i) + ", ";
  }
  std::string bUnnamed;
  for (int i = 1; i <= 16; ++i) bUnnamed += ", " + disk(b, "0000_0000", i);
  const Row cases[] = {
      // Two disks at target 0 of two controllers that cannot be told: the
      // one of another model is no reason.
      {machine("", {disk(b, "B0", 9), disk("NVMe MODEL A", "A0", 10)}, untold(9) + ", " + faultAt(kParentFault, 10, 3)),
       "NVMe MODEL A", 1, "[SCSI1:r0] " + described + untoldText("nvme_model_a", 10) + ").\n"},
      {machine("", bControllers + times(1, disk("NVMe MODEL A", "A0", 10)), bFaults + faultAt(kParentFault, 10, 3)),
       "NVMe MODEL A", 1, "[SCSI16:r0] " + described + untoldText("nvme_model_a", 10) + ").\n"},
      // Nor does such a disk take the place of a text that may be the drive.
      {machine("", {s0, sixteen.first, disk(b, "B0", 40, R"(, "target": 5)")},
               sixteen.second + untold(40) + ", " + faultAt(kParentFault, 10, 3)),
       a, 1,
       "[SCSI0:r5] " + described + untoldText(product, 10) + "; " + texts(untoldText, product, 20, 15) +
           "1 more (see the log)).\n"},
      // The drive's own failure, met past 16 other disks: by its device
      // number, its port, and the target asked of a disk not described.
      {machine(plain, {}, plainFaults + faultAt(kPropertyFault, 17, 12)), a, 1,
       "[PHYSICALDRIVE17] " + described + texts(propertyText, product, 0, 15) + "2 more (see the log); " +
           propertyText(product, 17) + ").\n"},
      {machine("", {seventeen.first, controller("", R"({"model": ")" + a + R"(", "serial": "R0"})")},
               seventeen.second + R"({"csmi": 11, "after": 5, "times": 1})"),
       a, 1,
       "[SCSI1:r0] " + described + texts(untoldText, product, 20, 15) +
           "2 more (see the log); storage port 1: CSMI RAID configuration of set 0 failed (error: 0, return code: "
           "0x1)).\n"},
      {machine("", {sixteen.first, s0}, sixteen.second + faultAt(kPropertyFault, 10, 6)), a, 1,
       "[SCSI1:r5] " + described + texts(untoldText, product, 20, 15) + "1 more (see the log); " +
           propertyText(product, 10) + ").\n"},
      {machine("", {sixteen.first, s0}, sixteen.second + faultAt(kPropertyFault + R"(, "property": 2)", 10, 3)), a, 1,
       "[SCSI1:r5] " + described + texts(untoldText, product, 20, 15) + "1 more (see the log); " +
           propertyText(product, 10) + ").\n"},
      {machine("", {sixteen.first, controller("", R"({"model": ")" + a + R"(", "serial": "R0"})")},
               sixteen.second + R"({"ioctl": "CreateFileW", "after": 37, "times": 1})"),
       a, 1,
       "[SCSI1:r0] " + described + texts(untoldText, product, 20, 15) +
           "1 more (see the log); storage port 1: CreateFileW failed (error: 31)).\n"},
      // Past the kept texts only the drives that may be it are counted, as
      // many as there are, and the texts kept are all given.
      {machine("", {bFirst.first, s0}, bFirst.second + faultAt(kParentFault, 10, 1)), a, 1,
       "\nSCSI1:r5: Query on device failed (" + texts(untoldText, product, 28, 7) + "2 more (see the log); " +
           untoldText(product, 10) + ")\n",
       {}, "SCSI1:r5: Query on device failed (" + untoldText(product, 28)},
      {machine("", {aFirst.first, s0}, aFirst.second + faultAt(kParentFault, 10, 3)), a, 1,
       "[SCSI1:r5] " + described + texts(untoldText, product, 20, 8) + untoldText(product, 10) + ").\n"},
      {machine("", {aFirst.first, s0}, aFirst.second + faultAt(kParentFault, 10, 1)), a, 1,
       "\nSCSI1:r5: Query on device failed (" + texts(untoldText, product, 20, 8) + untoldText(product, 10) + ")\n"},
      // Drives placed under other ids that the drive's own text pushes out
      // are no drives that may be it.
      {machine(unnamed.substr(0, unnamed.size() - 2), {disk("NVMe MODEL A", "S0", 20, R"(, "target": 5)")},
               faultAt(kParentFault, 20, 3)),
       "NVMe MODEL A", 1, "[SCSI0:r5] " + described + untoldText("nvme_model_a", 20) + ").\n"},
      // Past the kept texts, a whole model and a product id that fills its
      // field are two models, though they read alike.
      {machine(disk("NVMe MODEL A LONG NAME", "N0", 0) + bUnnamed + ", " + disk("NVMe MODEL A LON", "0000_0000", 17),
               {disk("NVMe MODEL A LONG NAME", "S0", 30)}, untold(30)),
       "NVMe MODEL A LONG NAME", 1, "\n1 more (see the log)\n", times(1, "REV00002") + times(17, "REV00001")},
  };
  for (const Row& c : cases) check(c);
}

}  // namespace
