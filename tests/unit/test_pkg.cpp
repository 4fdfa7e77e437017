// Firmware packages: the header as bytes, verification, packing and
// unpacking files, and the names made for output files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "cmdlib/cmdlib_pkg.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuFwPkg;
using DivizuCmdlib::DivIzuGenCmd;
using DivizuCmdlib::DivIzuPkg;
using DivizuCmdlib::DivIzuPkgInfo;
using DivizuCmdlib::DivIzuUnPkg;
using VazidaRaduru::_OrvFwPkgHeader;

namespace {

constexpr u32 kPkgFile = 54;

std::string bytesOf(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

// The package with its checksum over bytes 0..123 made right.
std::string withChecksum(std::string package) {
  u8 sum = 0;
  for (size_t i = 0; i < 124; ++i) sum = static_cast<u8>(sum + static_cast<u8>(package[i]));
  package[124] = static_cast<char>(sum);
  return package;
}

// A header written byte by byte from the layout, independently of the
// library's encoder: model "MODEL X", revision "REV00002", action word A800h,
// date 31.12.2019, component id "COMP0001".
std::string handMadeHeader(u32 imageLength) {
  std::string header(128, '\0');
  auto put = [&header](size_t offset, const std::string& bytes) { header.replace(offset, bytes.size(), bytes); };
  put(0, "@ORVQEP@");
  put(8, bytesOf({0x00, 0x80}));
  put(10, "MODEL X");
  put(50, "REV00002");
  put(58, bytesOf({0xA8, 0x00}));
  put(60, bytesOf({31, 12, 0x07, 0xE3}));
  put(64, "COMP0001");
  put(72, bytesOf({static_cast<int>(imageLength >> 24), static_cast<int>((imageLength >> 16) & 255),
                   static_cast<int>((imageLength >> 8) & 255), static_cast<int>(imageLength & 255)}));
  return withChecksum(header);
}

// Every field of a decoded header, one after the other.
std::string fields(const _OrvFwPkgHeader& h) {
  return h.signature + "|" + h.modelNumber + "|" + h.firmwareVersion + "|" + std::to_string(h.actionFlag) + "|" +
         std::to_string(h.postCmdAction) + "|" + h.packageDate + "|" + h.componentId + "|" +
         std::to_string(h.headerLength) + "|" + std::to_string(h.imageLength) + "|" + std::to_string(h.checksum);
}

// The verdict on a package in memory; asking whether it is valid gives the
// same one.
u64 verifyMemory(std::string bytes) {
  DivIzuPkgInfo info(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<unsigned>(bytes.size()));
  u64 status = info.execute();
  EXPECT_EQ(info.isValidPkg(), status);
  return status;
}

// The status a constructor throws; the last-error text it leaves in text.
u64 refusal(const std::function<void()>& make, std::string* text = nullptr) {
  u64 status = thrownStatus(make);
  if (text) *text = DivIzuGenCmd::getLastError();
  return status;
}

TEST(PackageHeader, HandMadeHeadersAreDecoded) {
  std::string package = handMadeHeader(5) + "ABCDE";
  ScratchFolder scratch;
  DivIzuPkgInfo info(scratch.write("p.bin", package));
  EXPECT_EQ(fields(info.getPkgHeader()), "|||0|0|||0|0|0") << "nothing read yet";
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(fields(info.getPkgHeader()),
            "@ORVQEP@|MODEL X|REV00002|1|5|31122019|COMP0001|128|5|" + std::to_string(u8(package[124])));
  EXPECT_EQ(verifyMemory(package), 0u);

  // Texts take the whole field without a NUL; a date needs all its parts;
  // bits 10..0 of the action word are ignored.
  package.replace(10, 40, std::string(40, 'M'));
  package.replace(60, 4, bytesOf({31, 12, 0, 0}));
  package.replace(58, 2, bytesOf({0x2F, 0xFF}));
  package = withChecksum(package);
  DivIzuPkgInfo other(reinterpret_cast<unsigned char*>(&package[0]), static_cast<unsigned>(package.size()));
  ASSERT_EQ(other.execute(), 0u);
  EXPECT_EQ(fields(other.getPkgHeader()), "@ORVQEP@|" + std::string(40, 'M') + "|REV00002|0|5||COMP0001|128|5|" +
                                              std::to_string(u8(package[124])));
}

TEST(PackageVerification, FilesAndMemory) {
  ScratchFolder scratch;
  const std::string good = handMadeHeader(4) + "WXYZ";
  auto changed = [&good](size_t offset, const std::string& bytes, bool fixChecksum) {
    std::string package = good;
    package.replace(offset, bytes.size(), bytes);
    return fixChecksum ? withChecksum(package) : package;
  };
  const struct {
    const char* what;
    std::string bytes;
    u32 code;
  } cases[] = {
      {"older signature", changed(0, "#ORVENTA", true), 0},
      {"unknown signature", changed(0, "@ORVQEQ@", true), 61},
      {"signature cut by a NUL", changed(7, std::string(1, '\0'), true), 61},
      {"header length little-endian", changed(8, bytesOf({0x80, 0x00}), true), 62},
      {"image length beyond the file", changed(75, bytesOf({5}), true), 62},
      {"model byte without checksum", changed(12, "Z", false), 62},
      {"reserved byte without checksum", changed(100, "Z", false), 62},
      {"trailing reserved bytes", changed(125, "ZZZ", false), 0},
      {"image bytes", changed(128, "abcd", false), 0},
      {"file longer than the image", good + "!", 62},
      {"header alone", good.substr(0, 128), 61},
      {"signature alone", "@ORVQEP@", 59},
  };
  for (const auto& c : cases) {
    DivIzuPkgInfo info(scratch.write("case.bin", c.bytes));
    for (u64 status : {info.isValidPkg(), info.execute()}) {
      if (c.code == 0)
        EXPECT_EQ(status, 0u) << c.what;
      else
        EXPECT_TRUE(isLibStatus(status, c.code, kPkgFile)) << c.what;
    }
  }
  // Memory may hold more than the package, but not less.
  EXPECT_EQ(verifyMemory(good + std::string(1000, '\xFF')), 0u);
  EXPECT_TRUE(isLibStatus(verifyMemory(good.substr(0, 131)), 62, kPkgFile));
  EXPECT_TRUE(isLibStatus(verifyMemory(good.substr(0, 128)), 62, kPkgFile));
  EXPECT_EQ(verifyMemory(handMadeHeader(0)), 0u);

  std::string text;
  std::string shortHeader = good.substr(0, 127);
  u64 status = refusal([&] { DivIzuPkgInfo info(reinterpret_cast<unsigned char*>(&shortHeader[0]), 127); }, &text);
  EXPECT_TRUE(isLibStatus(status, 6, kPkgFile));
  EXPECT_EQ(text, "ORVERR6: Invalid buffer length (packge-header)");
  EXPECT_TRUE(isLibStatus(refusal([] { DivIzuPkgInfo info(""); }, &text), 30, kPkgFile));
  EXPECT_EQ(text, "ORVERR30: Missing parameter (package_path)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuPkgInfo info(scratch / "none.bin"); }), 16, kPkgFile));
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuPkgInfo info(scratch.path()); }), 16, kPkgFile));
}

class Packing : public ::testing::Test {
 protected:
  // Packs an image file of the given bytes; the package's path, or "" when
  // the constructor refused (its status in refused).
  std::string pack(const std::string& imageBytes, const std::string& outFile = "",
                   const std::string& date = "01022019", const std::string& model = "MODEL X",
                   const std::string& revision = "REV00002", const std::string& component = "") {
    std::string image = scratch_.write("drive-fw.bin", imageBytes);
    refused = thrownStatus([&] {
      DivIzuPkg maker(outFile, image, revision, VazidaRaduru::ORV_POST_POWER_CYCLE, true, model, date, component, "");
      status = maker.execute();
      path = maker.getPkgFilePath();
    });
    return refused ? "" : path;
  }
  static DivIzuPkg maker(const std::string& out, const std::string& image, const std::string& outDir = "") {
    return DivIzuPkg(out, image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", outDir);
  }

  ScratchFolder scratch_;
  u64 refused = 0;
  u64 status = 0;
  std::string path;
};

TEST_F(Packing, ImageToPackageToImageByteForByte) {
  for (size_t length : {1u, 8191u, 8192u, 8193u, 20000u}) {
    std::string image = "VDRVFWIMREV00002";
    image.resize(length > image.size() ? length : image.size());
    for (size_t i = 16; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + 3) & 255);
    image.resize(length);
    std::string package = pack(image);
    ASSERT_EQ(refused | status, 0u);
    EXPECT_EQ(package, scratch_ / "drive.bin");
    std::string bytes = scratch_.read("drive.bin");
    ASSERT_EQ(bytes.size(), 128 + length);
    EXPECT_EQ(bytes.substr(128), image);
    DivIzuPkgInfo info(package);
    ASSERT_EQ(info.execute(), 0u);
    EXPECT_EQ(fields(info.getPkgHeader()), "@ORVQEP@|MODEL X|REV00002|1|3|01022019||128|" + std::to_string(length) +
                                               "|" + std::to_string(u8(bytes[124])));
    DivIzuUnPkg unpacker("out.bin", package, "");
    ASSERT_EQ(unpacker.execute(), 0u);
    EXPECT_EQ(unpacker.getImgFilePath(), scratch_ / "out.bin");
    EXPECT_EQ(scratch_.read("out.bin"), image);
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "drive.bin");
  }
  // The encoder's header bytes match the layout: flag set, power cycle.
  pack(std::string(5, 'i'), "p.bin", "31122019", "MODEL X", "REV00002", "COMP0001XYZW");
  ASSERT_EQ(status, 0u);
  std::string expected = handMadeHeader(5);
  expected[58] = static_cast<char>(0x80 | (3 << 3));
  EXPECT_EQ(scratch_.read("p.bin").substr(0, 128), withChecksum(expected));
  EXPECT_EQ(DivIzuFwPkg::getPackageSignature(), "@ORVQEP@");
}

TEST_F(Packing, ArgumentsAreCheckedWithTheirNames) {
  const struct {
    std::string date, model, revision, outFile;
    u32 code;
    const char* text;
  } cases[] = {
      {"29022020", "M", "R", "", 0, ""}, {"29022000", "M", "R", "", 0, ""}, {"", "M", "R", "", 0, ""},
      {"29021900", "M", "R", "", 78, "ORVERR78: Invalid date argument (package_date)"},
      {"29022019", "M", "R", "", 78, ""}, {"31042019", "M", "R", "", 78, ""}, {"0102019", "M", "R", "", 78, ""},
      {"01-02-2019", "M", "R", "", 78, ""}, {"01131999", "M", "R", "", 78, ""}, {"01011899", "M", "R", "", 78, ""},
      {"", std::string(40, 'M'), "12345678", "", 0, ""},
      {"", std::string(41, 'M'), "R", "", 35, "ORVERR35: Invalid parameter value (model_number)"},
      {"", "M", "123456789", "", 35, "ORVERR35: Invalid parameter value (firmware_version)"},
      {"", "M", "R", "out\\p.bin", 25, "ORVERR25: Invalid argument (pkg_out_file)"},
      {"", "M", "R", ".\\p.bin", 0, ""},
  };
  pack("");  // an empty image
  EXPECT_TRUE(isLibStatus(refused, 4, kPkgFile));
  EXPECT_EQ(DivIzuGenCmd::getLastError(), "ORVERR4: Invalid Firmware File Size (firmware_image_path)");
  EXPECT_FALSE(scratch_.exists("drive.bin"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date + " " + c.revision + " " + c.outFile);
    pack("image", c.outFile, c.date, c.model, c.revision);
    if (c.code == 0) {
      EXPECT_EQ(refused, 0u);
      continue;
    }
    EXPECT_TRUE(isLibStatus(refused, c.code, kPkgFile));
    if (*c.text) {
      EXPECT_EQ(DivIzuGenCmd::getLastError(), c.text);
    }
  }
  EXPECT_EQ(pack("image", "x.bin", "", "M", "R", "COMPONENT12"), scratch_ / "x.bin");
  DivIzuPkgInfo info(scratch_ / "x.bin");
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(info.getPkgHeader().componentId, "COMPONEN");
}

TEST_F(Packing, InputsAndOutputsAreChecked) {
  std::string text;
  EXPECT_TRUE(isLibStatus(refusal([&] { maker("", scratch_ / "none.bin"); }, &text), 16, kPkgFile));
  EXPECT_EQ(text, "ORVERR16: File open failed (firmware_image_path)");
  // An image that shrank is refused when packed, and nothing is written.
  std::string image = scratch_.write("drive-fw.bin", "0123456789");
  DivIzuPkg shrinking = maker("p.bin", image);
  scratch_.write("drive-fw.bin", "");
  EXPECT_TRUE(isLibStatus(shrinking.execute(), 4, kPkgFile));
  EXPECT_FALSE(scratch_.exists("p.bin"));
  scratch_.write("drive-fw.bin", "0123");  // the header tells the four bytes copied now
  ASSERT_EQ(shrinking.execute(), 0u);
  DivIzuPkgInfo info(shrinking.getPkgFilePath());
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(info.getPkgHeader().imageLength, 4u);

  // An output that names the input is refused.
  const std::string bytes(300, 'b');
  pack(bytes, "drive-fw.bin");
  EXPECT_TRUE(isLibStatus(refused, 25, kPkgFile));
  EXPECT_EQ(scratch_.read("drive-fw.bin"), bytes);
  std::string package = pack(bytes, "p.bin");
  ASSERT_EQ(status, 0u);
  const std::string packed = scratch_.read("p.bin");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("p.bin", package, ""); }, &text), 25, kPkgFile));
  EXPECT_EQ(text, "ORVERR25: Invalid argument (img_out_file)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("P.BIN", package, scratch_.path() + "\\."); }), 25,
                          kPkgFile));
  EXPECT_EQ(scratch_.read("p.bin"), packed);

  // Output folders.
  image = scratch_.write("i.bin", "image");
  EXPECT_TRUE(isLibStatus(refusal([&] { maker("", image, scratch_ / "none"); }, &text), 57, kPkgFile));
  EXPECT_EQ(text, "ORVERR57: Not a directory (pkg_out_dir)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("", image, image); }, &text), 57, kPkgFile));
  EXPECT_EQ(text, "ORVERR57: Not a directory (img_out_dir)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("", "", ""); }, &text), 30, kPkgFile));
  EXPECT_EQ(text, "ORVERR30: Missing parameter (package_path)");
  std::filesystem::create_directories(std::filesystem::path(scratch_.path()) / "sub");
  DivIzuPkg intoFolder = maker("", image, scratch_ / "sub");
  ASSERT_EQ(intoFolder.execute(), 0u);
  EXPECT_EQ(intoFolder.getPkgFilePath(), scratch_ / "sub" + "\\i-pkg.bin");
  EXPECT_TRUE(scratch_.exists("sub/i-pkg.bin"));

  // A corrupt package unpacks to nothing.
  std::string corrupt = handMadeHeader(4) + "WXYZ";
  corrupt[20] ^= 1;
  DivIzuUnPkg unpacker("", scratch_.write("bad-pkg.bin", corrupt), "");
  EXPECT_TRUE(isLibStatus(unpacker.execute(), 62, kPkgFile));
  EXPECT_FALSE(scratch_.exists("bad.bin"));
}

TEST(FileNaming, SuffixesAreSwappedAndNumbered) {
  ScratchFolder scratch;
  auto name = [&scratch](bool package, const std::string& from) {
    std::string out;
    EXPECT_EQ(package ? DivIzuFwPkg::makePkgFileName(scratch / from, out, "")
                      : DivIzuFwPkg::makeImgFileName(scratch / from, out, ""),
              0u);
    return out.substr(scratch.path().size() + 1);
  };
  EXPECT_EQ(name(true, "drive-fw.bin"), "drive.bin");
  scratch.write("drive.bin", "");
  EXPECT_EQ(name(true, "drive-fw.bin"), "drive-pkg.bin");
  scratch.write("drive-pkg.bin", "");
  EXPECT_EQ(name(true, "drive-fw.bin"), "drive-pkg1.bin");
  EXPECT_EQ(name(false, "abc-pkg3.img"), "abc.img");
  scratch.write("abc.img", "");
  EXPECT_EQ(name(false, "abc-pkg3.img"), "abc-fw.img");
  const std::pair<const char*, const char*> packages[] = {
      {"abc.bin", "abc-pkg.bin"},     {"noext", "noext-pkg"},           {"x-fw0.bin", "x.bin"},
      {"x-fw00.bin", "x-fw00-pkg.bin"}, {"x-fw+1.bin", "x-fw+1-pkg.bin"}, {"x-fw65535.bin", "x.bin"},
      {"x-fw65536.bin", "x-fw65536-pkg.bin"}, {"x-FW.bin", "x-FW-pkg.bin"}};
  for (const auto& package : packages) EXPECT_EQ(name(true, package.first), package.second);

  std::string out;
  EXPECT_TRUE(isLibStatus(DivIzuFwPkg::makePkgFileName("", out, ""), 35, kPkgFile));
  EXPECT_EQ(DivIzuFwPkg::makePkgFileName("a-fw.bin", out, "dest"), 0u);
  EXPECT_EQ(out, "dest\\a.bin");
  EXPECT_EQ(DivIzuFwPkg::makePkgFileName("a.bin", out, ""), 0u);
  EXPECT_EQ(out, ".\\a-pkg.bin");
}

}  // namespace
