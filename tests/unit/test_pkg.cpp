// Firmware packages: the header as bytes, verification, packing and
// unpacking files, and the names made for output files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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

u8 checksumOf(const std::string& header) {
  u8 sum = 0;
  for (size_t i = 0; i < 124; ++i) sum = static_cast<u8>(sum + static_cast<u8>(header[i]));
  return sum;
}

// A header written byte by byte from the layout, independently of the
// library's encoder: model "MODEL X", revision "REV00002", action word A800h,
// date 31.12.2019, component id "COMP0001", checksum over bytes 0..123.
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
  header[124] = static_cast<char>(checksumOf(header));
  return header;
}

std::string someImage(size_t length) {
  std::string image = "VDRVFWIMREV00002";
  image.resize(length > image.size() ? length : image.size());
  for (size_t i = 16; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + 3) & 255);
  return image.substr(0, length);
}

// Verification of a package file: the status of DivIzuPkgInfo's execute.
u64 verifyFile(const std::string& path) {
  DivIzuPkgInfo info(path);
  return info.execute();
}

u64 verifyMemory(std::string bytes) {
  DivIzuPkgInfo info(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<unsigned>(bytes.size()));
  return info.execute();
}

// The status a constructor throws and the last-error text it leaves.
template <typename Make>
u64 refusal(Make make, std::string* text = nullptr) {
  u64 status = thrownStatus(make);
  if (text) *text = DivIzuGenCmd::getLastError();
  return status;
}

TEST(PackageHeader, HandMadeHeaderIsDecoded) {
  std::string package = handMadeHeader(5) + "ABCDE";
  ScratchFolder scratch;
  std::string path = scratch.write("p.bin", package);
  DivIzuPkgInfo info(path);
  ASSERT_EQ(info.execute(), 0u);
  _OrvFwPkgHeader header = info.getPkgHeader();
  EXPECT_EQ(header.signature, "@ORVQEP@");
  EXPECT_EQ(header.modelNumber, "MODEL X");
  EXPECT_EQ(header.firmwareVersion, "REV00002");
  EXPECT_TRUE(header.actionFlag);
  EXPECT_EQ(header.postCmdAction, 5u);
  EXPECT_EQ(header.packageDate, "31122019");
  EXPECT_EQ(header.componentId, "COMP0001");
  EXPECT_EQ(header.headerLength, 128u);
  EXPECT_EQ(header.imageLength, 5u);
  EXPECT_EQ(header.checksum, checksumOf(package));
  EXPECT_EQ(verifyMemory(package), 0u);
}

TEST(PackageHeader, TextsTakeTheWholeFieldWithoutNulAndDatesNeedAllParts) {
  std::string package = handMadeHeader(1) + "x";
  package.replace(10, 40, std::string(40, 'M'));
  package.replace(60, 4, bytesOf({31, 12, 0, 0}));  // no year: no date
  package.replace(58, 2, bytesOf({0x2F, 0xFF}));     // bits 10..0 are ignored
  package[124] = static_cast<char>(checksumOf(package));
  DivIzuPkgInfo info(reinterpret_cast<unsigned char*>(&package[0]), static_cast<unsigned>(package.size()));
  ASSERT_EQ(info.execute(), 0u);
  _OrvFwPkgHeader header = info.getPkgHeader();
  EXPECT_EQ(header.modelNumber, std::string(40, 'M'));
  EXPECT_EQ(header.packageDate, "");
  EXPECT_FALSE(header.actionFlag);
  EXPECT_EQ(header.postCmdAction, 5u);
}

TEST(PackageVerification, SignatureHeaderLengthSizeAndChecksum) {
  ScratchFolder scratch;
  const std::string good = handMadeHeader(4) + "WXYZ";
  auto changed = [&good](size_t offset, const std::string& bytes, bool fixChecksum) {
    std::string package = good;
    package.replace(offset, bytes.size(), bytes);
    if (fixChecksum) package[124] = static_cast<char>(checksumOf(package));
    return package;
  };
  struct Case {
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
  };
  for (const Case& c : cases) {
    std::string path = scratch.write("case.bin", c.bytes);
    u64 status = verifyFile(path);
    if (c.code == 0)
      EXPECT_EQ(status, 0u) << c.what;
    else
      EXPECT_TRUE(isLibStatus(status, c.code, kPkgFile)) << c.what;
  }
}

TEST(PackageVerification, MemoryMayHoldMoreThanThePackageButNotLess) {
  const std::string good = handMadeHeader(4) + "WXYZ";
  EXPECT_EQ(verifyMemory(good + std::string(1000, '\xFF')), 0u);
  EXPECT_TRUE(isLibStatus(verifyMemory(good.substr(0, 131)), 62, kPkgFile));
  // A header of its own length only: the image would lie beyond the memory.
  EXPECT_TRUE(isLibStatus(verifyMemory(good.substr(0, 128)), 62, kPkgFile));
  EXPECT_EQ(verifyMemory(handMadeHeader(0)), 0u);

  std::string text;
  std::string shortHeader = good.substr(0, 127);
  u64 status = refusal(
      [&] { DivIzuPkgInfo info(reinterpret_cast<unsigned char*>(&shortHeader[0]), 127); }, &text);
  EXPECT_TRUE(isLibStatus(status, 6, kPkgFile));
  EXPECT_EQ(text, "ORVERR6: Invalid buffer length (packge-header)");
}

TEST(PackageVerification, MissingAndUnreadablePackageFiles) {
  ScratchFolder scratch;
  std::string text;
  EXPECT_TRUE(isLibStatus(refusal([] { DivIzuPkgInfo info(""); }, &text), 30, kPkgFile));
  EXPECT_EQ(text, "ORVERR30: Missing parameter (package_path)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuPkgInfo info(scratch / "none.bin"); }), 16, kPkgFile));
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuPkgInfo info(scratch.path()); }), 16, kPkgFile));
  std::string path = scratch.write("short.bin", "@ORVQEP@");
  EXPECT_TRUE(isLibStatus(verifyFile(path), 59, kPkgFile));
}

class Packing : public ::testing::Test {
 protected:
  // Packs an image file of the given bytes; the package's path, or "" when
  // the constructor refused (its status in refused).
  std::string pack(const std::string& imageBytes, const std::string& outFile = "",
                   const std::string& date = "01022019", const std::string& model = "MODEL X",
                   const std::string& revision = "REV00002", const std::string& component = "") {
    std::string image = scratch_.write("drive-fw.bin", imageBytes);
    refused = 0;
    try {
      DivIzuPkg maker(outFile, image, revision, VazidaRaduru::ORV_POST_POWER_CYCLE, true, model, date,
                      component, "");
      status = maker.execute();
      return maker.getPkgFilePath();
    } catch (u64 thrown) {
      refused = thrown;
      return "";
    }
  }

  ScratchFolder scratch_;
  u64 refused = 0;
  u64 status = 0;
};

TEST_F(Packing, ImageToPackageToImageByteForByte) {
  for (size_t length : {1u, 8191u, 8192u, 8193u, 20000u}) {
    std::string image = someImage(length);
    std::string package = pack(image);
    ASSERT_EQ(refused, 0u);
    ASSERT_EQ(status, 0u);
    EXPECT_EQ(package, scratch_ / "drive.bin");
    std::string bytes = scratch_.read("drive.bin");
    ASSERT_EQ(bytes.size(), 128 + length);
    EXPECT_EQ(bytes.substr(128), image);

    DivIzuPkgInfo info(package);
    ASSERT_EQ(info.execute(), 0u);
    _OrvFwPkgHeader header = info.getPkgHeader();
    EXPECT_EQ(header.imageLength, length);
    EXPECT_EQ(header.packageDate, "01022019");
    EXPECT_EQ(header.postCmdAction, 3u);
    EXPECT_TRUE(header.actionFlag);

    DivIzuUnPkg unpacker("out.bin", package, "");
    ASSERT_EQ(unpacker.execute(), 0u);
    EXPECT_EQ(unpacker.getImgFilePath(), scratch_ / "out.bin");
    EXPECT_EQ(scratch_.read("out.bin"), image);
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "drive.bin");
  }
}

TEST_F(Packing, HeaderBytesOfTheEncoderMatchTheLayout) {
  std::string package = pack(std::string(5, 'i'), "p.bin", "31122019", "MODEL X", "REV00002", "COMP0001XYZW");
  ASSERT_EQ(status, 0u);
  std::string header = scratch_.read("p.bin").substr(0, 128);
  std::string expected = handMadeHeader(5);
  expected[58] = static_cast<char>(0x80 | (3 << 3));  // flag set, power cycle
  expected[124] = static_cast<char>(checksumOf(expected));
  EXPECT_EQ(header, expected);
  EXPECT_EQ(DivIzuFwPkg::getPackageSignature(), "@ORVQEP@");
}

TEST_F(Packing, ArgumentsAreCheckedWithTheirNames) {
  struct Case {
    std::string date, model, revision, outFile;
    u32 code;
    const char* text;
  } cases[] = {
      {"29022020", "M", "R", "", 0, ""},
      {"29022000", "M", "R", "", 0, ""},
      {"", "M", "R", "", 0, ""},
      {"29021900", "M", "R", "", 78, "ORVERR78: Invalid date argument (package_date)"},
      {"29022019", "M", "R", "", 78, ""},
      {"31042019", "M", "R", "", 78, ""},
      {"0102019", "M", "R", "", 78, ""},
      {"01-02-2019", "M", "R", "", 78, ""},
      {"01131999", "M", "R", "", 78, ""},
      {"01011899", "M", "R", "", 78, ""},
      {"", std::string(40, 'M'), "12345678", "", 0, ""},
      {"", std::string(41, 'M'), "R", "", 35, "ORVERR35: Invalid parameter value (model_number)"},
      {"", "M", "123456789", "", 35, "ORVERR35: Invalid parameter value (firmware_version)"},
      {"", "M", "R", "out\\p.bin", 25, "ORVERR25: Invalid argument (pkg_out_file)"},
      {"", "M", "R", ".\\p.bin", 0, ""},
  };
  for (const Case& c : cases) {
    pack("image", c.outFile, c.date, c.model, c.revision);
    if (c.code == 0) {
      EXPECT_EQ(refused, 0u) << c.date << " " << c.revision << " " << c.outFile;
      continue;
    }
    EXPECT_TRUE(isLibStatus(refused, c.code, kPkgFile)) << c.date << " " << c.revision << " " << c.outFile;
    if (*c.text) {
      EXPECT_EQ(DivIzuGenCmd::getLastError(), c.text);
    }
  }
  EXPECT_EQ(pack("image", "x.bin", "", "M", "R", "COMPONENT12"), scratch_ / "x.bin");
  DivIzuPkgInfo info(scratch_ / "x.bin");
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(info.getPkgHeader().componentId, "COMPONEN");
}

TEST_F(Packing, EmptyImageIsRefusedAndNothingIsWritten) {
  pack("");
  EXPECT_TRUE(isLibStatus(refused, 4, kPkgFile));
  EXPECT_EQ(DivIzuGenCmd::getLastError(), "ORVERR4: Invalid Firmware File Size (firmware_image_path)");
  EXPECT_FALSE(scratch_.exists("drive.bin"));
  std::string text;
  EXPECT_TRUE(isLibStatus(refusal([&] {
                            DivIzuPkg maker("", scratch_ / "none.bin", "R", VazidaRaduru::ORV_POST_NO_OPERATION,
                                            false, "M", "", "", "");
                          }, &text),
                          16, kPkgFile));
  EXPECT_EQ(text, "ORVERR16: File open failed (firmware_image_path)");
}

TEST_F(Packing, ImageThatShrankIsRefusedWhenPacked) {
  std::string image = scratch_.write("drive-fw.bin", "0123456789");
  DivIzuPkg maker("p.bin", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  scratch_.write("drive-fw.bin", "");
  EXPECT_TRUE(isLibStatus(maker.execute(), 4, kPkgFile));
  EXPECT_FALSE(scratch_.exists("p.bin"));
  scratch_.write("drive-fw.bin", "0123");  // the header tells the four bytes copied now
  ASSERT_EQ(maker.execute(), 0u);
  DivIzuPkgInfo info(maker.getPkgFilePath());
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(info.getPkgHeader().imageLength, 4u);
}

TEST_F(Packing, OutputThatNamesTheInputIsRefused) {
  const std::string image = someImage(300);
  pack(image, "drive-fw.bin");
  EXPECT_TRUE(isLibStatus(refused, 25, kPkgFile));
  EXPECT_EQ(scratch_.read("drive-fw.bin"), image);

  std::string package = pack(image, "p.bin");
  ASSERT_EQ(status, 0u);
  const std::string packed = scratch_.read("p.bin");
  std::string text;
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("p.bin", package, ""); }, &text), 25, kPkgFile));
  EXPECT_EQ(text, "ORVERR25: Invalid argument (img_out_file)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("P.BIN", package, scratch_.path() + "\\."); }),
                          25, kPkgFile));
  EXPECT_EQ(scratch_.read("p.bin"), packed);
}

TEST_F(Packing, OutputFoldersAreChecked) {
  std::string image = scratch_.write("i.bin", "image");
  std::string text;
  EXPECT_TRUE(isLibStatus(refusal([&] {
                            DivIzuPkg maker("", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "",
                                            "", scratch_ / "none");
                          }, &text),
                          57, kPkgFile));
  EXPECT_EQ(text, "ORVERR57: Not a directory (pkg_out_dir)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("", image, image); }, &text), 57, kPkgFile));
  EXPECT_EQ(text, "ORVERR57: Not a directory (img_out_dir)");
  EXPECT_TRUE(isLibStatus(refusal([&] { DivIzuUnPkg unpacker("", "", ""); }, &text), 30, kPkgFile));
  EXPECT_EQ(text, "ORVERR30: Missing parameter (package_path)");

  std::filesystem::create_directories(std::filesystem::path(scratch_.path()) / "sub");
  DivIzuPkg maker("", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", scratch_ / "sub");
  ASSERT_EQ(maker.execute(), 0u);
  EXPECT_EQ(maker.getPkgFilePath(), scratch_ / "sub" + "\\i-pkg.bin");
  EXPECT_TRUE(scratch_.exists("sub/i-pkg.bin"));
}

TEST_F(Packing, CorruptPackageUnpacksToNothing) {
  std::string package = handMadeHeader(4) + "WXYZ";
  package[20] ^= 1;
  std::string path = scratch_.write("bad-pkg.bin", package);
  DivIzuUnPkg unpacker("", path, "");
  EXPECT_TRUE(isLibStatus(unpacker.execute(), 62, kPkgFile));
  EXPECT_FALSE(scratch_.exists("bad.bin"));
}

class FileNaming : public ::testing::Test {
 protected:
  std::string packageName(const std::string& image) {
    std::string out;
    EXPECT_EQ(DivIzuFwPkg::makePkgFileName(scratch_ / image, out, ""), 0u);
    return out.substr(scratch_.path().size() + 1);
  }
  std::string imageName(const std::string& package) {
    std::string out;
    EXPECT_EQ(DivIzuFwPkg::makeImgFileName(scratch_ / package, out, ""), 0u);
    return out.substr(scratch_.path().size() + 1);
  }
  ScratchFolder scratch_;
};

TEST_F(FileNaming, SuffixesAreSwappedAndNumbered) {
  EXPECT_EQ(packageName("drive-fw.bin"), "drive.bin");
  scratch_.write("drive.bin", "");
  EXPECT_EQ(packageName("drive-fw.bin"), "drive-pkg.bin");
  scratch_.write("drive-pkg.bin", "");
  EXPECT_EQ(packageName("drive-fw.bin"), "drive-pkg1.bin");
  EXPECT_EQ(packageName("abc.bin"), "abc-pkg.bin");
  EXPECT_EQ(packageName("noext"), "noext-pkg");

  EXPECT_EQ(imageName("abc-pkg3.img"), "abc.img");
  scratch_.write("abc.img", "");
  EXPECT_EQ(imageName("abc-pkg3.img"), "abc-fw.img");

  EXPECT_EQ(packageName("x-fw0.bin"), "x.bin");
  EXPECT_EQ(packageName("x-fw00.bin"), "x-fw00-pkg.bin");
  EXPECT_EQ(packageName("x-fw+1.bin"), "x-fw+1-pkg.bin");
  EXPECT_EQ(packageName("x-fw65535.bin"), "x.bin");
  EXPECT_EQ(packageName("x-fw65536.bin"), "x-fw65536-pkg.bin");
  EXPECT_EQ(packageName("x-FW.bin"), "x-FW-pkg.bin");

  std::string out;
  EXPECT_TRUE(isLibStatus(DivIzuFwPkg::makePkgFileName("", out, ""), 35, kPkgFile));
  EXPECT_EQ(DivIzuFwPkg::makePkgFileName("a-fw.bin", out, "dest"), 0u);
  EXPECT_EQ(out, "dest\\a.bin");
  EXPECT_EQ(DivIzuFwPkg::makePkgFileName("a.bin", out, ""), 0u);
  EXPECT_EQ(out, ".\\a-pkg.bin");
}

}  // namespace
