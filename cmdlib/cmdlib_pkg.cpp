#include "cmdlib/cmdlib_pkg.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"

using VazidaRaduru::OrvBuffer;

namespace DivizuCmdlib {

namespace {

const char kSignature[] = "@ORVQEP@";
const char kOlderSignature[] = "#ORVENTA";

// Header layout.
constexpr u32 kSignatureAt = 0;
constexpr u32 kHeaderLengthAt = 8;
constexpr u32 kActionAt = 58;
constexpr u32 kDateAt = 60;
constexpr u32 kImageLengthAt = 72;
constexpr u32 kChecksumAt = 124;

// The header's text fields: NUL-padded, read up to the first NUL.
struct TextField {
  u32 offset;
  u32 width;
  std::string _OrvFwPkgHeader::*member;
};
const TextField kTextFields[] = {
    {kSignatureAt, 8, &_OrvFwPkgHeader::signature},
    {10, 40, &_OrvFwPkgHeader::modelNumber},
    {50, 8, &_OrvFwPkgHeader::firmwareVersion},
    {64, 8, &_OrvFwPkgHeader::componentId},
};
constexpr u32 kWidestText = 40;

constexpr u32 kPieceLength = 8192;
constexpr u64 kLargestImage = 0xFFFFFFFFull;

u32 bigEndian(const u8* bytes, u32 count) {
  u32 value = 0;
  for (u32 i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

void putBigEndian(u8* bytes, u32 count, u32 value) {
  for (u32 i = count; i-- > 0; value >>= 8) bytes[i] = static_cast<u8>(value);
}

// "D", "M" and "Y" of "DDMMYYYY": a real day of the years 1900 to 9999.
bool isValidDate(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  unsigned day = std::stoul(text.substr(0, 2));
  unsigned month = std::stoul(text.substr(2, 2));
  unsigned year = std::stoul(text.substr(4, 4));
  if (day < 1 || month < 1 || month > 12 || year < 1900) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  unsigned last = month == 2 && !leap ? 28 : kDays[month - 1];
  return day <= last;
}

// The folder part of a path (separators at its end removed) and its name.
u64 splitPath(const std::string& path, std::string& folder, std::string& name) {
  std::vector<char> folderPart(path.size() + 1);
  char namePart[256];
  u64 status = osl_split_path(path.c_str(), folderPart.data(), static_cast<u32>(folderPart.size()),
                              namePart, sizeof namePart);
  if (status) return status;
  folder = folderPart.data();
  name = namePart;
  return 0;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  std::vector<char> joined(folder.size() + name.size() + 2);
  osl_path_join(folder.c_str(), name.c_str(), joined.data(), static_cast<u32>(joined.size()));
  return joined.data();
}

// A path in one spelling: "\" separators, no "." folders or doubled
// separators inside, no leading ".\".
std::string plainPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  for (size_t at = path.find("\\.\\"); at != std::string::npos; at = path.find("\\.\\")) path.erase(at, 2);
  for (size_t at = path.find("\\\\", 1); at != std::string::npos; at = path.find("\\\\", 1)) path.erase(at, 1);
  while (path.compare(0, 2, ".\\") == 0) path.erase(0, 2);
  return path;
}

// Two spellings of one file. Opening the input first, denying writers, also
// refuses writes to any other name of it.
bool isSameFile(const std::string& a, const std::string& b) {
  return osl_strieq(plainPath(a).c_str(), plainPath(b).c_str());
}

// A name tail that is the suffix, alone or followed by a number below
// s_MaxSuffixCounter written without sign or leading zeros.
bool isRemovableTail(const std::string& tail, const std::string& suffix) {
  if (tail.compare(0, suffix.size(), suffix) != 0) return false;
  std::string number = tail.substr(suffix.size());
  if (number.empty()) return true;
  if (number.size() > 5 || (number.size() > 1 && number[0] == '0')) return false;
  for (char c : number)
    if (c < '0' || c > '9') return false;
  return std::stoul(number) < DivIzuFwPkg::s_MaxSuffixCounter;
}

bool isFile(const std::string& path) { return osl_is_file(path.c_str()) == 0; }

// Copies length bytes in pieces of 8192: 59 when fewer could be read, 60
// when fewer could be written.
u64 copyPieces(FILE* from, FILE* to, u64 length) {
  // Returns rather than throws, so that the caller closes both files.
  try {
    OrvBuffer piece(kPieceLength, VazidaRaduru::ORV_LITTLE_ENDIAN);
    for (u64 offset = 0; offset < length; offset += kPieceLength) {
      size_t count = static_cast<size_t>(std::min<u64>(kPieceLength, length - offset));
      piece.resetZero();
      if (std::fread(piece.getBuffer(), 1, count, from) != count) return ORV_LIB_STATUS(ORV_ERR_FILE_READ);
      if (std::fwrite(piece.getBuffer(), 1, count, to) != count) return ORV_LIB_STATUS(ORV_ERR_FILE_WRITE);
    }
  } catch (u64 status) {
    return status;
  } catch (...) {
    return ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
  return 0;
}

// Where a package command writes: a failure and the argument it blames.
struct Refusal {
  u64 status;
  const char* argument;
};

// The output folder and path of a command that reads source. A named output
// file must be a bare name; without a folder it goes beside the source. With
// neither, both stay empty and the command makes a name beside the source.
Refusal placeOutput(const std::string& source, std::string& outPath, const std::string& givenFolder,
                    std::string& outFolder, const char* fileArgument, const char* folderArgument) {
  std::string folder = givenFolder;
  std::string fileName;
  if (!outPath.empty()) {
    std::string namedFolder;
    if (splitPath(outPath, namedFolder, fileName) != 0 || (!namedFolder.empty() && namedFolder != ".") ||
        fileName.empty())
      return {ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT), fileArgument};
    if (folder.empty()) {
      std::string sourceName;
      splitPath(source, folder, sourceName);
      if (folder.empty()) folder = ".";
    }
  }
  if (folder.empty()) return {0, ""};
  if (osl_dir_exists(folder.c_str()) != 0) return {ORV_LIB_STATUS(ORV_ERR_NOT_DIRECTORY), folderArgument};
  if (osl_dir_writable(folder.c_str()) != 0)
    return {ORV_LIB_STATUS(ORV_ERR_NO_WRITE_PERMISSION), folderArgument};
  outFolder = folder;
  if (fileName.empty()) return {0, ""};
  outPath = joinPath(outFolder, fileName);
  // Writing the output would destroy the input.
  if (isSameFile(outPath, source)) return {ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT), fileArgument};
  return {0, ""};
}

}  // namespace

DivIzuFwPkg::DivIzuFwPkg(unsigned char* buf, unsigned int len)
    : DivIzuGenCmd("", 0, 0, false, false), inMemory(false), memoryLength(0) {
  resetHeader();
  if (!buf || len < kHeaderLength) raiseException(ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH), "packge-header");
  makeHeaderBuffer();
  u64 status = 0;
  try {
    status = headerBuffer->copyData(buf, kHeaderLength, 0);
  } catch (u64 thrown) {
    status = thrown;
  } catch (...) {
    status = ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
  if (status) raiseException(status, "buffheader copydata");
  inMemory = true;
  memoryLength = len;
}

DivIzuFwPkg::DivIzuFwPkg(std::string path)
    : DivIzuGenCmd("", 0, 0, false, false), pkgPath(std::move(path)), inMemory(false), memoryLength(0) {
  resetHeader();
  makeHeaderBuffer();
}

DivIzuFwPkg::~DivIzuFwPkg() = default;

void DivIzuFwPkg::makeHeaderBuffer() {
  try {
    headerBuffer.reset(new OrvBuffer(kHeaderLength, VazidaRaduru::ORV_LITTLE_ENDIAN));
  } catch (u64 status) {
    raiseException(status, "buffer_allocation");
  } catch (...) {
    raiseException(ORV_LIB_STATUS(ORV_ERR_GENERIC), "buffer_allocation");
  }
}

void DivIzuFwPkg::resetHeader() {
  header = _OrvFwPkgHeader{"", "", "", VazidaRaduru::ORV_POST_NO_OPERATION, false, "", "", 0, 0, 0};
}

std::string DivIzuFwPkg::getPackageSignature() { return kSignature; }

u64 DivIzuFwPkg::isValidPkg() {
  if (pkgPath.empty() && !inMemory) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  u64 status = readPkgHeader();
  return status ? status : verify();
}

u64 DivIzuFwPkg::readPkgHeader() {
  if (inMemory) return 0;
  FILE* file = osl_fopen(pkgPath.c_str(), OSL_FILE_READ_BINARY);
  if (!file) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
  u8 scratch[kHeaderLength] = {};
  size_t read = std::fread(scratch, 1, kHeaderLength, file);
  if (read < kHeaderLength) {
    osl_fclose(file);
    return ORV_LIB_STATUS(ORV_ERR_FILE_READ);
  }
  u64 status = headerBuffer->copyData(scratch, kHeaderLength, 0);
  osl_fclose(file);
  return status;
}

u64 DivIzuFwPkg::verify() {
  u64 fileSize = 0;
  if (!inMemory) {
    if (osl_file_size(pkgPath.c_str(), &fileSize) != 0) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    if (fileSize <= kHeaderLength) return ORV_LIB_STATUS(ORV_ERR_NOT_PACKAGE);
  }
  parseBuffer();
  if (header.signature != kSignature && header.signature != kOlderSignature)
    return ORV_LIB_STATUS(ORV_ERR_NOT_PACKAGE);
  if (header.headerLength != kHeaderLength) return ORV_LIB_STATUS(ORV_ERR_CORRUPT_PACKAGE);
  u64 packageLength = u64{kHeaderLength} + header.imageLength;
  // A file is exactly header and image; memory may hold more after the image.
  if (inMemory ? packageLength > memoryLength : packageLength != fileSize)
    return ORV_LIB_STATUS(ORV_ERR_CORRUPT_PACKAGE);
  if (header.checksum != checksum()) return ORV_LIB_STATUS(ORV_ERR_CORRUPT_PACKAGE);
  return 0;
}

void DivIzuFwPkg::parseBuffer() {
  resetHeader();
  const u8* bytes = headerBuffer->getBuffer();
  for (const TextField& field : kTextFields) {
    char scratch[kWidestText + 1] = {};
    std::memcpy(scratch, bytes + field.offset, field.width);
    header.*field.member = scratch;
  }
  header.headerLength = static_cast<u16>(bigEndian(bytes + kHeaderLengthAt, 2));
  u32 action = bigEndian(bytes + kActionAt, 2);
  header.actionFlag = (action >> 15) & 1;
  header.postCmdAction = static_cast<_OrvPostCmdAction>((action >> 11) & 15);
  header.packageDate = headerDate(bigEndian(bytes + kDateAt, 4));
  header.imageLength = bigEndian(bytes + kImageLengthAt, 4);
  header.checksum = bytes[kChecksumAt];
}

void DivIzuFwPkg::createBuffer() {
  headerBuffer->resetZero();
  u8* bytes = headerBuffer->getBuffer();
  header.signature = kSignature;
  for (const TextField& field : kTextFields) {
    const std::string& text = header.*field.member;
    std::memcpy(bytes + field.offset, text.data(), std::min<size_t>(text.size(), field.width));
  }
  header.headerLength = kHeaderLength;
  putBigEndian(bytes + kHeaderLengthAt, 2, kHeaderLength);
  bytes[kActionAt] = static_cast<u8>((header.actionFlag ? 0x80 : 0) | ((header.postCmdAction & 15) << 3));
  putBigEndian(bytes + kDateAt, 4, bufferDate());
  putBigEndian(bytes + kImageLengthAt, 4, header.imageLength);
  header.checksum = checksum();
  bytes[kChecksumAt] = header.checksum;
}

u8 DivIzuFwPkg::checksum() const {
  const u8* bytes = headerBuffer->getBuffer();
  u8 sum = 0;
  for (u32 i = 0; i < kChecksumAt; ++i) sum = static_cast<u8>(sum + bytes[i]);
  return sum;
}

std::string DivIzuFwPkg::headerDate(unsigned int date) {
  unsigned day = (date >> 24) % 100;
  unsigned month = ((date >> 16) & 255) % 100;
  unsigned year = (date & 0xFFFF) % 10000;
  if (!day || !month || !year) return "";
  char text[16];
  osl_snprintf(text, sizeof text, sizeof text - 1, "%02u%02u%04u", day, month, year);
  return text;
}

unsigned int DivIzuFwPkg::bufferDate() const {
  const std::string& date = header.packageDate;
  if (date.size() < 8) return 0;
  unsigned day = std::stoul(date.substr(0, 2));
  unsigned month = std::stoul(date.substr(2, 2));
  unsigned year = std::stoul(date.substr(4, 4));
  return (day << 24) | (month << 16) | year;
}

u64 DivIzuFwPkg::makePkgFileName(std::string imagePath, std::string& out, std::string destDir) {
  return makeDestFileName(std::move(imagePath), out, PACKAGE_FILE, std::move(destDir));
}

u64 DivIzuFwPkg::makeImgFileName(std::string packagePath, std::string& out, std::string destDir) {
  return makeDestFileName(std::move(packagePath), out, IMAGE_FILE, std::move(destDir));
}

u64 DivIzuFwPkg::makeDestFileName(std::string srcPath, std::string& out, DestFileType type,
                                  std::string destDir) {
  out.clear();
  if (srcPath.empty()) return ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE);
  std::string sourceFolder;
  std::string name;
  u64 status = splitPath(srcPath, sourceFolder, name);
  if (status) return status;
  std::string folder = !destDir.empty() ? destDir : !sourceFolder.empty() ? sourceFolder : ".";
  const std::string removed = type == PACKAGE_FILE ? "-fw" : "-pkg";
  const std::string added = type == PACKAGE_FILE ? "-pkg" : "-fw";

  std::string extension;
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    extension = name.substr(dot);
    name.erase(dot);
  }
  size_t dash = name.rfind('-');
  if (dash != std::string::npos && isRemovableTail(name.substr(dash), removed)) {
    name.erase(dash);
    std::string candidate = joinPath(folder, name + extension);
    if (!isFile(candidate)) {
      out = candidate;
      return 0;
    }
  }
  name += added;
  for (u32 number = 0; number < s_MaxSuffixCounter; ++number) {
    std::string candidate = joinPath(folder, name + (number ? std::to_string(number) : "") + extension);
    if (!isFile(candidate)) {
      out = candidate;
      return 0;
    }
  }
  return ORV_LIB_STATUS(ORV_ERR_GENERIC);
}

DivIzuPkg::DivIzuPkg(std::string pkgOutFile, std::string imageFile, std::string firmwareVersion,
                     _OrvPostCmdAction action, bool actionFlag, std::string modelNumber,
                     std::string packageDate, std::string componentId, std::string pkgOutDir)
    : DivIzuFwPkg(std::move(pkgOutFile)) {
  init(std::move(imageFile), std::move(firmwareVersion), std::move(modelNumber), std::move(packageDate),
       std::move(componentId), std::move(pkgOutDir));
  header.postCmdAction = action;
  header.actionFlag = actionFlag;
}

void DivIzuPkg::init(std::string imageFile, std::string firmwareVersion, std::string modelNumber,
                     std::string packageDate, std::string componentId, std::string pkgOutDir) {
  u64 size = 0;
  if (!isFile(imageFile) || osl_file_size(imageFile.c_str(), &size) != 0)
    raiseException(ORV_LIB_STATUS(ORV_ERR_FILE_OPEN), "firmware_image_path");
  // A package carries 1 byte to 4 GiB - 1 of image.
  if (size == 0 || size > kLargestImage) raiseException(ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE), "firmware_image_path");
  imagePath = imageFile;
  header.imageLength = static_cast<u32>(size);

  if (firmwareVersion.size() > 8) raiseException(ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE), "firmware_version");
  header.firmwareVersion = firmwareVersion;
  if (modelNumber.size() > 40) raiseException(ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE), "model_number");
  header.modelNumber = modelNumber;
  header.componentId = componentId.substr(0, 8);
  if (!packageDate.empty() && !isValidDate(packageDate))
    raiseException(ORV_LIB_STATUS(ORV_ERR_INVALID_DATE), "package_date");
  header.packageDate = packageDate;

  Refusal refusal = placeOutput(imagePath, pkgPath, pkgOutDir, outDir, "pkg_out_file", "pkg_out_dir");
  if (refusal.status) raiseException(refusal.status, refusal.argument);
}

u64 DivIzuPkg::execute() {
  try {
    if (pkgPath.empty()) {
      u64 status = makePkgFileName(imagePath, pkgPath, outDir);
      if (status) return status;
    }
    // The image is opened first and denies writers, so a package path that
    // names the image by another spelling cannot be opened for writing.
    FILE* image = osl_fopen(imagePath.c_str(), OSL_FILE_READ_BINARY);
    if (!image) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    u64 size = 0;
    u64 status = 0;
    if (osl_file_size(imagePath.c_str(), &size) != 0)
      status = ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    else if (size == 0 || size > kLargestImage)
      status = ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
    FILE* package = status ? nullptr : osl_fopen(pkgPath.c_str(), OSL_FILE_WRITE_BINARY);
    if (!package) {
      osl_fclose(image);
      return status ? status : ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    }
    // The header tells the length that is copied now.
    header.imageLength = static_cast<u32>(size);
    createBuffer();
    status = std::fwrite(headerBuffer->getBuffer(), 1, kHeaderLength, package) == kHeaderLength
                 ? copyPieces(image, package, size)
                 : ORV_LIB_STATUS(ORV_ERR_FILE_WRITE);
    osl_fclose(image);
    if (osl_fclose(package) != 0 && status == 0) status = ORV_LIB_STATUS(ORV_ERR_FILE_WRITE);
    if (status) osl_remove_file(pkgPath.c_str());
    return status;
  } catch (u64 status) {
    return status;
  } catch (...) {
    return ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
}

DivIzuUnPkg::DivIzuUnPkg(std::string imgOutFile, std::string packagePath, std::string imgOutDir)
    : DivIzuFwPkg(std::move(packagePath)), imagePath(std::move(imgOutFile)) {
  if (pkgPath.empty()) raiseException(ORV_LIB_STATUS(ORV_ERR_MISSING_PARAMETER), "package_path");
  if (!isFile(pkgPath)) raiseException(ORV_LIB_STATUS(ORV_ERR_FILE_OPEN), "package_path");
  init(std::move(imgOutDir));
}

void DivIzuUnPkg::init(std::string imgOutDir) {
  Refusal refusal = placeOutput(pkgPath, imagePath, imgOutDir, outDir, "img_out_file", "img_out_dir");
  if (refusal.status) raiseException(refusal.status, refusal.argument);
}

u64 DivIzuUnPkg::execute() {
  try {
    if (imagePath.empty()) {
      u64 status = makeImgFileName(pkgPath, imagePath, outDir);
      if (status) return status;
    }
    u64 status = readPkgHeader();
    if (status == 0) status = verify();
    if (status) return status;
    // The package is opened first and denies writers (see DivIzuPkg::execute).
    FILE* package = osl_fopen(pkgPath.c_str(), OSL_FILE_READ_BINARY);
    if (!package) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    FILE* image = osl_fopen(imagePath.c_str(), OSL_FILE_WRITE_BINARY);
    if (!image) {
      osl_fclose(package);
      return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
    }
    u8 skipped[kHeaderLength];
    status = std::fread(skipped, 1, kHeaderLength, package) == kHeaderLength
                 ? copyPieces(package, image, header.imageLength)
                 : ORV_LIB_STATUS(ORV_ERR_FILE_READ);
    osl_fclose(package);
    if (osl_fclose(image) != 0 && status == 0) status = ORV_LIB_STATUS(ORV_ERR_FILE_WRITE);
    // A cut image must not be taken for a whole one later.
    if (status) osl_remove_file(imagePath.c_str());
    return status;
  } catch (u64 status) {
    return status;
  } catch (...) {
    return ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
}

DivIzuPkgInfo::DivIzuPkgInfo(std::string packagePath) : DivIzuFwPkg(std::move(packagePath)) {
  if (pkgPath.empty()) raiseException(ORV_LIB_STATUS(ORV_ERR_MISSING_PARAMETER), "package_path");
  if (!isFile(pkgPath)) raiseException(ORV_LIB_STATUS(ORV_ERR_FILE_OPEN), "package_path");
}

DivIzuPkgInfo::DivIzuPkgInfo(unsigned char* buf, unsigned int len) : DivIzuFwPkg(buf, len) {}

u64 DivIzuPkgInfo::execute() {
  u64 status = readPkgHeader();
  return status ? status : verify();
}

}  // namespace DivizuCmdlib
