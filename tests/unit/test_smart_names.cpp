// SMART attribute names from the built-in configuration and from files:
// which device entry chooses the parser, which attributes enter the map, and
// the texts that are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "unit/fake_device.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace {

constexpr u32 kGenDevFile = 103;

// A drive that shows the given texts, padded with blanks as drives pad them.
class NamedDrive : public RefusingDevice {
 public:
  NamedDrive(std::string model, std::string firmware) : model(std::move(model)), firmware(std::move(firmware)) {}

  u64 getIdentStrings(char* firmwareOut, char* modelOut, char* serialOut, char* componentOut) override {
    std::snprintf(firmwareOut, 9, "%-8s", firmware.c_str());
    std::snprintf(modelOut, 41, "  %-38s", model.c_str());
    std::snprintf(serialOut, 21, "%s", "SERIAL");
    componentOut[0] = '\0';
    return 0;
  }

  std::string model;
  std::string firmware;
};

// n parsers, parser i naming id 1 "parser i".
std::string parsersNamingTheirIndex(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += std::string(i ? "," : "") + R"({"attributes": [{"id": "01", "name": "parser )" + std::to_string(i) + R"("}]})";
  return text;
}

std::string configuration(const std::string& devices, const std::string& parsers) {
  return R"({"devices": [)" + devices + R"(], "parsers": [)" + parsers + "]}";
}

class SmartNames : public ::testing::Test {
 protected:
  // Loads the configuration text from a file for drive.
  u64 loadText(NamedDrive& drive, const std::string& text, std::map<u8, std::string>& names) {
    std::string path = scratch_.write("smart.json", text);
    return NamedDrive::loadNames(&drive, names, path);
  }
  ::testing::AssertionResult refused(NamedDrive& drive, const std::string& text) {
    std::map<u8, std::string> names = {{9, "kept"}};
    u64 status = loadText(drive, text, names);
    if (!isLibStatus(status, 27, kGenDevFile)) return isLibStatus(status, 27, kGenDevFile) << " for " << text;
    if (names.size() != 1 || names[9] != "kept") return ::testing::AssertionFailure() << "map changed by " << text;
    return ::testing::AssertionSuccess();
  }

  ScratchFolder scratch_;
  NamedDrive drive_{"MODEL ABC 1", "AB01"};
};

}  // namespace

// The built-in configuration names every drive with parser 0; a file that
// names parser 1 or 2 of it chooses those.
TEST_F(SmartNames, BuiltInParsers) {
  const std::pair<size_t, std::map<u8, std::string>> parsers[] = {
      {43, {{0x01, "Raw Read Error Rate"}, {0x04, "Start/Stop Count"}, {0x0A, "Spin-up Retry Count"},
            {0xB8, "End-End ED/C"}, {0xC6, "Offline Scan Uncorrectable Sector count"},
            {0xFE, "Free Fall Sensor Event Count (optional)"}}},
      {25, {{0x0C, "Drive Power Cycle Count"}, {0xF1, "Host Writes"}}},
      {21, {{0xF1, "Host\xE3\x80\x80Writes"}, {0xF2, "Host\xE3\x80\x80Reads"}, {0xF9, "NAND Write"}}}};
  for (size_t index = 0; index < 3; ++index) {
    std::string text = orvlib_smart_attr_config;
    size_t at = text.find(R"("parser_index": "0")");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 19, R"("parser_index": ")" + std::to_string(index) + "\"");
    NamedDrive anyDrive("", "");
    std::map<u8, std::string> names;
    ASSERT_EQ(index ? loadText(drive_, text, names) : NamedDrive::loadNames(&anyDrive, names, ""), 0u) << index;
    EXPECT_EQ(names.size(), parsers[index].first) << index;
    for (const auto& name : parsers[index].second) EXPECT_EQ(names[name.first], name.second) << int(name.first);
  }
  std::map<u8, std::string> names = {{0x01, "Already named"}};
  ASSERT_EQ(NamedDrive::loadNames(&drive_, names, ""), 0u);
  EXPECT_EQ(names.size(), 43u);
  EXPECT_EQ(names[0x01], "Already named");
  EXPECT_EQ(names.count(0x06), 0u);
}

// A drive, the device entries of a file of eight parsers (parser i names
// id 1 "parser i"), and the name chosen: none when the file is refused,
// "" when no parser is there.
TEST_F(SmartNames, DeviceEntriesChooseTheParser) {
  struct Choice {
    std::string model, firmware, devices;
    const char* chosen;
  };
  const std::string abc = R"({"model": "ABC", "parser_index": ")";
  const std::string longModel(38, 'A');
  const std::string nested = std::string(500, '(') + "A" + std::string(500, ')');
  const Choice choices[] = {
      {"MODEL ABC 1", "AB01", abc + "1\"}", "parser 1"},
      {"MODEL XYZ", "AB01", abc + "1\"}", nullptr},
      // The first matching entry wins; the firmware pattern must match as well.
      {"MODEL ABC 1", "AB01",
       R"({"model": "ABC", "firmware": "^ZZ", "parser_index": "2"}, {"model": "^MODEL", "parser_index": "007"},)"
       R"({"model": ".*", "parser_index": "3"})",
       "parser 7"},
      // A firmware pattern alone, anchored at the start.
      {"MODEL ABC 1", "AB01", R"({"firmware": "^AB", "parser_index": "4"})", "parser 4"},
      {"MODEL", "XAB1", R"({"firmware": "^AB", "parser_index": "4"})", nullptr},
      // A key given twice: the later pattern counts.
      {"MODEL ABC 1", "AB01", R"({"model": "NONE", "model": "ABC", "parser_index": "5"})", "parser 5"},
      {"MODEL ABC 1", "AB01", abc + "200\"}", ""}, {"MODEL ABC 1", "AB01", abc + "8\"}", ""},
      // The index is up to three digits below 256, as a text.
      {"MODEL ABC 1", "AB01", abc + "256\"}", nullptr}, {"MODEL ABC 1", "AB01", abc + "1000\"}", nullptr},
      {"MODEL ABC 1", "AB01", abc + "-1\"}", nullptr},  {"MODEL ABC 1", "AB01", abc + "1a\"}", nullptr},
      {"MODEL ABC 1", "AB01", abc + " 1\"}", nullptr},  {"MODEL ABC 1", "AB01", abc + "\"}", nullptr},
      {"MODEL ABC 1", "AB01", abc + "0x1\"}", nullptr},
      {"MODEL ABC 1", "AB01", R"({"model": "ABC", "parser_index": 1})", nullptr},
      {"MODEL ABC 1", "AB01", R"({"model": "ABC"})", nullptr},
      // Patterns that would loop or take long are refused; others of their look are not.
      {longModel, "AB01", R"({"model": "(A*)*B", "parser_index": "0"})", nullptr},
      {longModel, "AB01", R"({"model": "(.*)*X", "parser_index": "0"})", nullptr},
      {longModel, "AB01", R"({"model": "a**|A", "parser_index": "0"})", nullptr},
      {longModel, "AB01", R"({"model": "^(A|AA)*$", "parser_index": "0"})", "parser 0"},
      {longModel, "AB01", R"({"model": ")" + nested + R"(", "parser_index": "0"})", "parser 0"},
  };
  for (const Choice& c : choices) {
    NamedDrive drive(c.model, c.firmware);
    std::string text = configuration(c.devices, parsersNamingTheirIndex(8));
    if (!c.chosen) {
      EXPECT_TRUE(refused(drive, text));
      continue;
    }
    std::map<u8, std::string> names;
    EXPECT_EQ(loadText(drive, text, names), 0u) << c.devices;
    EXPECT_EQ(names.empty() ? "" : names[1], c.chosen) << c.devices;
  }
}

// Patterns in the configuration's own engine, searched in "MODEL A 123"
// unless another model is given: a pattern it does not compile, or could not
// run exactly as written, refuses the file; one that does not match leaves
// the choice to the next entry.
TEST_F(SmartNames, PatternsOfTheConfigurationEngine) {
  enum Result { Refused, Matches, NoMatch };
  struct Case {
    std::string pattern;
    Result result;
    std::string model = "MODEL A 123";
  };
  const Case cases[] = {
      // Classes, groups and assertions of other engines that this one lacks
      // (written here as JSON writes a backslash).
      {R"(\\d)", Refused}, {R"(\\w+)", Refused}, {"(?:MODEL)", Refused}, {R"(\\bMODEL)", Refused},
      {"MODEL A", Matches}, {"^MODEL", Matches}, {"123$", Matches}, {"[0-9]+", Matches},
      {"MODEL.*3", Matches}, {"^MODEL A 123$", Matches}, {"(MODEL|DRIVE) [A-C]", Matches},
      {"MODEL$", NoMatch}, {"^A 1", NoMatch}, {"^MODEL A$", NoMatch}, {"[^A-Z0-9 ]", NoMatch},
      // Its parser cannot take empty groups and alternatives, open groups or a repetition of nothing.
      {"{2}MODEL", Refused}, {"()MODEL", Refused}, {"M(|O)DEL", Refused}, {"M(*)", Refused}, {"(MODEL", Refused},
      // Its matcher cannot take repetitions of what matches the empty text, nor
      // two such alternatives.
      {"(M?)*A", Refused}, {"MODEL**", Refused}, {"(M?|X?)(M?|X?)O", Refused}, {"MODEL(A?|)", Refused},
      {"M(O?|X)D", Matches}, {"MO+?D", Matches}, {"(MO?D)+EL", Matches},
      // A pattern as long as wanted, but not one the engine needs too many states for.
      {std::string(1023, '^') + ".*", Matches}, {"M.{0,100}3", Matches}, {"M.{0,1000}3", Refused},
      // Counts as the engine reads them, but none it would read wrapped.
      {"MO{0001}DEL", Matches}, {"MO{1,}DEL", Matches}, {"MO{0,}DEL", Matches}, {"MO{0}DEL", Refused},
      {"MO{0,2}*DEL", Refused}, {"M(O{1,2})*DEL", Matches},
      {"MO{2,1}DEL", Refused}, {"MO{1,x}DEL", Refused}, {"MO{1", Refused}, {"A{8589934592,1}*", Refused},
      {"MO{4294967297}DEL", Refused}, {"MO{1,4294967296}DEL", Refused},
      // Bytes that are not UTF-8, however written: the engine would stop reading at them.
      {"(A?\\uDC00)", Refused}, {"(A?\xFF)", Refused}, {"MODEL\xF0", Refused}, {"MODEL \xC3", Refused},
      {"MODEL \\u00C5", Matches, "MODEL \xC3\x85"}, {"MODEL \xC3\x85", NoMatch},
      // A drive's bytes that are not UTF-8 are each one replacement character,
      // and the text is read to its end however it ends.
      {"12$", NoMatch, "MODEL A 12\xF0"}, {"12.$", Matches, "MODEL A 12\xF0"},
      {"\xEF\xBF\xBD{2}3$", Matches, "MODEL \xFF\xC3" "3"}, {"[^ -~]A", Matches, "MODEL\x80" "A"},
      {"Z", NoMatch, "MODEL A 123456\xF0"}, {"Z", NoMatch, std::string(30, 'M') + "\xF4"},
      {"Z", NoMatch, "MODEL A 1234567\xE2"}};
  for (const Case& c : cases) {
    NamedDrive drive(c.model, "FW01");
    std::string devices =
        R"({"model": ")" + c.pattern + R"(", "parser_index": "1"}, {"firmware": "FW", "parser_index": "2"})";
    std::string text = configuration(devices, parsersNamingTheirIndex(3));
    if (c.result == Refused) {
      EXPECT_TRUE(refused(drive, text));
      continue;
    }
    std::map<u8, std::string> names;
    EXPECT_EQ(loadText(drive, text, names), 0u) << c.pattern;
    EXPECT_EQ(names[1], c.result == Matches ? "parser 1" : "parser 2") << c.pattern << " in " << c.model;
  }
}

TEST_F(SmartNames, AttributeIdsAndNames) {
  std::string attributes = R"({"attributes": [
      {"id": "0x1FF", "name": "too big"}, {"id": "G1", "name": "not hex"},
      {"id": "x0A", "name": "ten"}, {"id": "A", "name": "ten again"},
      {"id": "0x05", "name": "first five"}, {"id": "0x05", "name": "second five"},
      {"id": "0", "name": "zero"}, {"id": "0x0B", "name": ""}, {"name": "no id"}, {"id": "0C"},
      {"id": "0xff", "name": "last"}, {"id": "1", "name": "one", "other": [1, 2]}]})";
  std::map<u8, std::string> names;
  ASSERT_EQ(loadText(drive_, configuration(R"({"model": ".*", "parser_index": "0"})", attributes), names), 0u);
  std::map<u8, std::string> expected = {{0x01, "one"}, {0x05, "first five"}, {0x0A, "ten"}, {0xFF, "last"}};
  EXPECT_EQ(names, expected);
}

TEST_F(SmartNames, TextsOfTheWrongShapeAreRefused) {
  std::string device = R"({"model": ".*", "parser_index": "0"})";
  std::string parser = R"({"attributes": [{"id": "01", "name": "one"}]})";
  for (const std::string& text : {
           std::string("not json"), std::string("{\"devices\": [], \"parsers\": [") + parser,
           std::string("[]"), std::string("\"text\""),
           R"({"parsers": [)" + parser + "]}", R"({"devices": [)" + device + "]}",
           R"({"devices": {}, "parsers": [)" + parser + "]}",
           R"({"devices": [)" + device + R"(], "parsers": {}})",
           configuration(device, ""),
           configuration("[]", parser), configuration("\"entry\"", parser),
           configuration(R"({"parser_index": "0"})", parser),
           configuration(R"({"model": "(", "parser_index": "0"})", parser),
           configuration(R"({"firmware": "[a-", "parser_index": "0"})", parser),
           configuration(R"({"model": "a{100000}", "parser_index": "0"})", parser),
           configuration(R"({"model": 5, "parser_index": "0"})", parser),
           configuration(R"({"model": null, "parser_index": "0"})", parser),
           configuration(device, "[]"), configuration(device, "{}"),
           configuration(device, R"({"attributes": {}})"),
           configuration(device, R"({"attributes": [5]})"),
           configuration(device, R"({"attributes": [{"id": "01", "name": 5}]})"),
           configuration(device, R"({"attributes": [{"id": 1, "name": "one"}]})"),
       })
    EXPECT_TRUE(refused(drive_, text));
  // No entry matches in a file.
  EXPECT_TRUE(refused(drive_, configuration(R"({"model": "^NOMATCH$", "parser_index": "0"})", parser)));
}

TEST_F(SmartNames, FilesOfAnyLineEndsAndDepth) {
  std::map<u8, std::string> names;
  std::string text = "{\r\n \"devices\": [{\"model\": \"ABC\", \"parser_index\": \"0\"}],\r\n"
                     " \"parsers\": [{\"attributes\": [{\"id\": \"0x0C\", \"name\": \"cycles\"}]}]\r\n}\r\n";
  ASSERT_EQ(loadText(drive_, text, names), 0u);
  EXPECT_EQ(names[0x0C], "cycles");

  // Nesting that would exhaust a recursive parser's stack.
  std::string deep = std::string(200000, '[') + std::string(200000, ']');
  names.clear();
  EXPECT_EQ(loadText(drive_, configuration(R"({"model": "ABC", "parser_index": "0", "x": )" + deep + "}",
                                           R"({"attributes": [{"id": "2", "name": "two"}]})"),
                     names),
            0u);
  EXPECT_EQ(names[2], "two");
}

TEST_F(SmartNames, MissingFileIsAFileOpenFailure) {
  std::map<u8, std::string> names;
  EXPECT_TRUE(isLibStatus(NamedDrive::loadNames(&drive_, names, scratch_ / "none.json"), 16, kGenDevFile));
  EXPECT_TRUE(names.empty()) << "a file replaces the built-in configuration, also when it fails";
}
