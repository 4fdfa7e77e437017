// The machine file: one JSON object. Keys of the machine: "windows",
// "servicePack", "admin", "pageSize", "programdata", "processes",
// "create_window_fails", "drives" (each with "bus", "number", "model",
// "serial", "firmware", "vendor", "sectors", "sectorSize", "rotational",
// "wwn", "maxTransfer", "maxPages", "partitions", "unitAttention",
// "writeCache", "smart", "descriptorSense", "deferredMicrocode") and
// "faults". A fault names what it hits with one of "ioctl" (a control code's
// name, or "CreateFileW"), "setupapi" (a function's name), "ata" (a command
// code) or "scsi" (an operation code); narrows it with "drive", "property",
// "feature", "page" or "mode"; answers with "error" (a Windows error, or the ATA
// error register), "status", "scsiStatus" or "sense" ([key, asc, ascq]); and
// counts with "after" and "times". winsim/machines/README.md has the whole
// story with defaults and an example.
#include "winsim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace winsim {
namespace {

std::unique_ptr<Machine>& slot() {
  static std::unique_ptr<Machine> machine;
  return machine;
}

}  // namespace

Machine::Machine(const std::string& path) : path_(path) {
  description_.SetObject();
  if (path_.empty()) return;
  std::ifstream file(path_, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "winsim: cannot read machine file %s\n", path_.c_str());
    std::abort();
  }
  std::stringstream text;
  text << file.rdbuf();
  rapidjson::Document parsed;
  parsed.Parse(text.str().c_str());
  if (parsed.HasParseError() || !parsed.IsObject()) {
    std::fprintf(stderr, "winsim: machine file %s is not a JSON object (%s at %zu)\n",
                 path_.c_str(), rapidjson::GetParseError_En(parsed.GetParseError()),
                 parsed.GetErrorOffset());
    std::abort();
  }
  description_.Swap(parsed);
}

Machine& Machine::current() {
  if (!slot()) {
    const char* path = std::getenv("WINSIM_MACHINE");
    slot().reset(new Machine(path ? path : ""));
  }
  return *slot();
}

Machine& Machine::load(const std::string& path) {
  slot().reset(new Machine(path));
  return *slot();
}

void Machine::save() {
  if (path_.empty()) return;
  rapidjson::StringBuffer text;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(text);
  writer.SetIndent(' ', 2);
  description_.Accept(writer);
  std::string temporary = path_ + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text.GetString() << "\n";
    if (!file) {
      std::fprintf(stderr, "winsim: cannot write machine file %s\n", temporary.c_str());
      return;
    }
  }
  std::rename(temporary.c_str(), path_.c_str());
}

std::string Machine::windowsVersion() const {
  auto found = description_.FindMember("windows");
  if (found != description_.MemberEnd() && found->value.IsString()) return found->value.GetString();
  return "10.0";
}

bool Machine::admin() const {
  auto found = description_.FindMember("admin");
  if (found != description_.MemberEnd() && found->value.IsBool()) return found->value.GetBool();
  return true;
}

std::string Machine::programDataFolder() const {
  namespace fs = std::filesystem;
  fs::path machineFolder = path_.empty() ? fs::path() : fs::absolute(path_).parent_path();
  fs::path folder;
  auto found = description_.FindMember("programdata");
  if (found != description_.MemberEnd()) {
    if (!found->value.IsString()) return "";
    folder = machineFolder / found->value.GetString();
  } else if (!path_.empty()) {
    folder = machineFolder / "programdata";
  } else {
    return "";
  }
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return folder.lexically_normal().string();
}

}  // namespace winsim
