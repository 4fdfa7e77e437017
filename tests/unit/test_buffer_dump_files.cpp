// Dump files of log buffers: their names, and the raw, hex-dump and compact
// forms byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "osl/osl_file.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using DivizuCmdlib::OrvDevBufDump;
using VazidaRaduru::OrvLogBuffer;

namespace {

constexpr u32 kGenCmdFile = 51;

class TaggedDump : public OrvDevBufDump {
 public:
  using OrvDevBufDump::OrvDevBufDump;
  using OrvDevBufDump::setFileTag;
};

OrvLogBuffer* logOf(const std::string& bytes, u8 page = 0x07, std::string name = "Self-test") {
  OrvLogBuffer* log = new OrvLogBuffer(static_cast<u32>(bytes.size()), VazidaRaduru::ORV_LITTLE_ENDIAN, page, 0, name);
  for (u32 i = 0; i < bytes.size(); ++i) (*log)[i] = static_cast<u8>(bytes[i]);
  return log;
}

std::string hexDumpOf(OrvLogBuffer& log) {
  std::stringstream out;
  log.hexDump(out);
  return out.str();
}

// What the runtime writes for "\n" into a file opened in text mode.
std::string textNewline(const ScratchFolder& scratch) {
  FILE* probe = osl_fopen((scratch / "newline").c_str(), OSL_FILE_WRITE_TEXT);
  std::fputs("\n", probe);
  osl_fclose(probe);
  return scratch.read("newline");
}

std::string inTextMode(std::string text, const std::string& newline) {
  std::string out;
  for (char c : text) out += c == '\n' ? newline : std::string(1, c);
  return out;
}

// The file name of a dump's file within the scratch folder.
std::string leaf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

}  // namespace

TEST(BufferDumpFiles, NamesOfFolderSystemTimeDriveAndTags) {
  ScratchFolder scratch;
  long long before = static_cast<long long>(std::time(nullptr));
  TaggedDump dump("  " + scratch.path() + "\t", "\\\\.\\PHYSICALDRIVE1", 0);
  long long after = static_cast<long long>(std::time(nullptr));
  dump.setFileTag("smart", "page2");
  std::string name = dump.getDumpFileName();
  ASSERT_EQ(name.compare(0, scratch.path().size() + 8, scratch.path() + "\\VORMEL-"), 0) << name;
  std::string rest = name.substr(scratch.path().size() + 8);
  long long seconds = std::stoll(rest);
  EXPECT_TRUE(seconds >= before && seconds <= after) << name;
  EXPECT_EQ(rest.substr(std::to_string(seconds).size()), "-._PHYSICALDRIVE1-smart-page2.bin");
  dump.setFileTag("later", "");
  EXPECT_EQ(dump.getDumpFileName(), name) << "the first name stays";

  // Folder, drive and tags; the name from the drive's id on.
  struct Case {
    std::string folder, drive, tag1, tag2, start, end;
  };
  const std::string longId(300, 'D');
  const Case cases[] = {
      {scratch.path(), "SCSI1:r0", "", "second", scratch.path() + "\\VORMEL-", "-SCSI1_r0-second.bin"},
      {scratch.path(), "PHYSICALDRIVE0", "", "", scratch.path() + "\\VORMEL-", "-PHYSICALDRIVE0.bin"},
      {scratch.path(), longId, "", "", scratch.path() + "\\VORMEL-", "-" + longId + ".bin"},
      {" \t ", "PHYSICALDRIVE1", "", "", ".\\VORMEL-", "-PHYSICALDRIVE1.bin"},
      {"", "PHYSICALDRIVE1", "", "", ".\\VORMEL-", "-PHYSICALDRIVE1.bin"},
      {"..", "PHYSICALDRIVE1", "", "", "..\\VORMEL-", "-PHYSICALDRIVE1.bin"},
  };
  for (const Case& c : cases) {
    TaggedDump named(c.folder, c.drive, 0);
    if (!c.tag1.empty() || !c.tag2.empty()) named.setFileTag(c.tag1, c.tag2);
    std::string file = named.getDumpFileName();
    EXPECT_EQ(file.compare(0, c.start.size(), c.start), 0) << file;
    std::string stamp = file.substr(c.start.size(), file.size() - c.start.size() - c.end.size());
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << file;
    EXPECT_EQ(file.substr(file.size() - c.end.size()), c.end);
    EXPECT_EQ(named.bufCount(), 0u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "naming writes nothing";

  // A folder that is missing or no folder at all.
  std::string file = scratch.write("plain", "x");
  for (const std::string& folder : {scratch / "missing", scratch / "plain"})
    EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvDevBufDump(folder, "PHYSICALDRIVE1", 0); }), 57, kGenCmdFile));
}

TEST(BufferDumpFiles, BinaryFormWritesEveryBufferWithBytes) {
  ScratchFolder scratch;
  std::string name;
  {
    OrvDevBufDump dump(scratch.path(), "PHYSICALDRIVE3", 0);
    dump.addBuffer(logOf(std::string("\x01\xAB\n", 3)));
    dump.addBuffer(nullptr);
    dump.addBuffer(new OrvLogBuffer());
    dump.addBuffer(logOf(std::string("\xFF\x00\r", 3)));
    EXPECT_EQ(dump.bufCount(), 4u);
    dump.binDump(nullptr);
    name = leaf(dump.getDumpFileName());
  }
  EXPECT_EQ(scratch.read(name), std::string("\x01\xAB\n\xFF\x00\r", 6));
}

TEST(BufferDumpFiles, HexFormAndAFileOfTheCaller) {
  ScratchFolder scratch;
  OrvLogBuffer* first = logOf("NVMe self-test log entries", 0x06);
  OrvLogBuffer* second = logOf(std::string("\x01\x02", 2), 0xC0, "Vendor");
  std::string expected = hexDumpOf(*first) + hexDumpOf(*second);
  ASSERT_EQ(expected.compare(0, 48, "Self-test [Page: 0x06, SubPage: 0x0000] Hex-Dump"), 0);

  OrvDevBufDump dump(scratch.path(), "PHYSICALDRIVE0", 0);
  dump.addBuffer(first);
  dump.addBuffer(nullptr);
  dump.addBuffer(second);
  FILE* own = osl_fopen((scratch / "own.txt").c_str(), OSL_FILE_WRITE_BINARY);
  ASSERT_NE(own, nullptr);
  dump.hexDump(own);
  dump.binDump(own);
  osl_fclose(own);
  EXPECT_EQ(scratch.read("own.txt"), expected + "NVMe self-test log entries\x01\x02");
  EXPECT_FALSE(scratch.exists(leaf(dump.getDumpFileName()))) << "a caller's file leaves the dump file alone";
}

TEST(BufferDumpFiles, FirstOpenDecidesTheMode) {
  ScratchFolder scratch;
  std::string newline = textNewline(scratch);
  std::string name, expected;
  {
    OrvDevBufDump dump(scratch.path(), "PHYSICALDRIVE0", 0);
    dump.addBuffer(logOf("AB\nC"));
    expected = hexDumpOf(**dump.bufBegin());
    dump.hexDump(nullptr);
    dump.binDump(nullptr);  // into the same text-mode file
    name = leaf(dump.getDumpFileName());
  }
  EXPECT_EQ(scratch.read(name), inTextMode(expected + "AB\nC", newline));
}

TEST(BufferDumpFiles, CompactTextAndClearing) {
  ScratchFolder scratch;
  OrvDevBufDump dump(scratch.path(), "PHYSICALDRIVE0", 0);
  dump.addBuffer(logOf(std::string("\x01\xAB", 2)));
  dump.addBuffer(nullptr);
  dump.addBuffer(logOf(std::string("\xFF", 1)));
  std::stringstream out;
  out << "stale";
  dump.strDump(out);
  EXPECT_EQ(out.str(), "01 ab ff ");
  dump.addBuffer(new OrvLogBuffer());
  dump.strDump(out);
  EXPECT_EQ(out.str(), "01 ab ff Empty Buffer");

  int entries = 0;
  for (auto at = dump.bufBegin(); at != dump.bufEnd(); ++at) ++entries;
  EXPECT_EQ(entries, 4);
  dump.clearBuffers();
  EXPECT_EQ(dump.bufCount(), 0u);
  dump.strDump(out);
  EXPECT_EQ(out.str(), "");
  dump.binDump(nullptr);
  EXPECT_EQ(scratch.read(leaf(dump.getDumpFileName())), "") << "an empty list still opens the file";
}
