// Firmware packages: a 128-byte header (which drives, which revision, when
// packed, what the drive needs afterwards, image length, signature and
// checksum; numbers big-endian) followed by the raw image. DivIzuFwPkg owns
// one header; DivIzuPkg packs an image file, DivIzuUnPkg unpacks a package
// file and DivIzuPkgInfo reads and verifies a package file or memory block.
#pragma once

#include <memory>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

class OrvBuffer;

// A decoded package header. Texts are the field's bytes up to the first NUL.
struct _OrvFwPkgHeader {
  std::string signature;
  std::string modelNumber;
  std::string firmwareVersion;
  _OrvPostCmdAction postCmdAction;
  bool actionFlag;
  std::string packageDate;  // day, month, year as "DDMMYYYY"; empty: no date
  std::string componentId;
  u16 headerLength;
  u32 imageLength;
  u8 checksum;
};

}  // namespace VazidaRaduru

namespace DivizuCmdlib {

using VazidaRaduru::_OrvFwPkgHeader;

class ORV_EXPORT DivIzuFwPkg : protected DivIzuGenCmd {
 public:
  enum DestFileType : u32 { IMAGE_FILE = 0, PACKAGE_FILE = 1 };
  // Numbers 0 to 65535 may follow a suffix of a made file name.
  static constexpr u32 s_MaxSuffixCounter = 65536;
  static constexpr u32 kHeaderLength = 128;

  // A package in memory: its header is copied, its length kept so that the
  // header cannot claim more image than the memory holds.
  DivIzuFwPkg(unsigned char* buf, unsigned int len);
  // A package file, not read before readPkgHeader.
  explicit DivIzuFwPkg(std::string pkgPath);
  ~DivIzuFwPkg() override;

  u64 execute() override = 0;

  // readPkgHeader, then verify.
  u64 isValidPkg();
  _OrvFwPkgHeader getPkgHeader() const { return header; }
  std::string getPkgFilePath() const { return pkgPath; }
  static std::string getPackageSignature();

  // A free file name beside srcPath (or in destDir) for the package of an
  // image, or the image of a package.
  static u64 makePkgFileName(std::string imagePath, std::string& out, std::string destDir);
  static u64 makeImgFileName(std::string packagePath, std::string& out, std::string destDir);

 protected:
  u64 readPkgHeader();
  // Decodes the header and checks signature, header length, lengths and
  // checksum: 61 for no package, 62 for a corrupt one.
  u64 verify();
  void createBuffer();
  void parseBuffer();
  u8 checksum() const;
  static std::string headerDate(unsigned int date);
  unsigned int bufferDate() const;

  std::unique_ptr<VazidaRaduru::OrvBuffer> headerBuffer;
  _OrvFwPkgHeader header;
  std::string pkgPath;
  bool inMemory;
  u64 memoryLength;

 private:
  void resetHeader();
  void makeHeaderBuffer();
  static u64 makeDestFileName(std::string srcPath, std::string& out, DestFileType type,
                              std::string destDir);
};

// Packs an image file into a new package file.
class ORV_EXPORT DivIzuPkg : public DivIzuFwPkg {
 public:
  // pkgOutFile: a bare name, or empty for a made one; pkgOutDir: the folder,
  // or empty for the image's. packageDate: "DDMMYYYY" or empty.
  DivIzuPkg(std::string pkgOutFile, std::string imagePath, std::string firmwareVersion,
            _OrvPostCmdAction action, bool actionFlag, std::string modelNumber,
            std::string packageDate, std::string componentId, std::string pkgOutDir);
  u64 execute() override;
  std::string getImgFilePath() const { return imagePath; }

 private:
  void init(std::string imageFile, std::string firmwareVersion, std::string modelNumber,
            std::string packageDate, std::string componentId, std::string pkgOutDir);

  std::string imagePath;
  std::string outDir;
};

// Takes the image out of a package file into a new image file.
class ORV_EXPORT DivIzuUnPkg : public DivIzuFwPkg {
 public:
  DivIzuUnPkg(std::string imgOutFile, std::string packagePath, std::string imgOutDir);
  u64 execute() override;
  std::string getImgFilePath() const { return imagePath; }

 private:
  void init(std::string imgOutDir);

  std::string imagePath;
  std::string outDir;
};

// Reads and verifies a package; the caller then takes getPkgHeader.
class ORV_EXPORT DivIzuPkgInfo : public DivIzuFwPkg {
 public:
  explicit DivIzuPkgInfo(std::string packagePath);
  DivIzuPkgInfo(unsigned char* buf, unsigned int len);
  u64 execute() override;
};

}  // namespace DivizuCmdlib
