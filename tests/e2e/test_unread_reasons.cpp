// Drives the run could not read, named by the real VORMEL executable: a
// drive is judged by all the run read of it, its own reasons are given whole
// and kept however many other disks may be it, and the drives past the
// named ones are counted once per model.
#include <string>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

class UnreadReasons : public Vormel {};

// A disk a RAID driver presents, and a machine of plain drives and RAID
// controllers (each a list of such disks).
std::string disk(const std::string& model, const std::string& serial, int number, const std::string& more = "") {
  return R"({"bus": "nvme", "model": ")" + model + R"(", "serial": ")" + serial + R"(", "number": )" +
         std::to_string(number) + more + "}";
}
std::string machine(const std::string& plain, const std::vector<std::string>& controllers, const std::string& faults) {
  std::string ports;
  for (const std::string& disks : controllers)
    ports += (ports.empty() ? "" : ", ") + std::string(R"({"kind": "csmi", "drives": [)") + disks + "]}";
  return R"({"admin": true, "windows": "10.0", "drives": [)" + plain + R"(], "controllers": [)" + ports +
         R"(], "faults": [)" + faults + "]}";
}
std::string untold(int number, const std::string& more = "") {
  return R"({"cfgmgr32": "CM_Get_Parent", "drive": )" + std::to_string(number) + more + "}";
}
// Why the disk of this device number, whose product id the interface path
// names, cannot be read.
std::string untoldText(const std::string& product, int number) {
  return "\\\\?\\scsi#disk&ven_nvme&prod_" + product + "#4&" + std::to_string(number) +
         "&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: its RAID controller cannot be told (CM_Get_Parent failed "
         "(CONFIGRET: 13))";
}
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
  const struct {
    std::string machine;
    const char* model;  // the package's
    int exitCode;
    std::string reported;  // in the console's two streams; empty: no drive named
    std::vector<std::string> drives;  // the plain drives' revisions afterwards
  } cases[] = {
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
  for (const auto& c : cases) {
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
    if (!c.drives.empty()) {
      EXPECT_EQ(revisions(), c.drives) << c.machine;
    }
  }
}

}  // namespace
