// The configuration manager's view of the simulated machine's device tree.
#include <cctype>
#include <string>

#include "winsim/devnodes.h"
#include "winsim/faults.h"
#include "winsim/machine.h"
#include "winsim/storage.h"
#include "winsim/text.h"

using namespace winsim;

namespace {

constexpr DEVINST kAdapterNodes = 0x20000;

struct Node {
  std::string id;
  DEVINST parent = 0;  // 0: none
  int drive = -1;      // a disk's device number
};

// The instance id of a device whose interface path is given: the path
// without its "\\?\" prefix and its "#{class}" end, "#" read as "\".
std::string instanceIdOf(const std::u16string& path) {
  std::string id = narrow(path);
  size_t start = id.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  size_t end = id.rfind("#{");
  id = id.substr(start, end == std::string::npos || end < start ? std::string::npos : end - start);
  for (char& c : id) c = c == '#' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return id;
}

// The node a handle names, or false when the machine has none such.
bool nodeOf(DEVINST node, Node* out) {
  const StorageStack& stack = Machine::current().part<StorageStack>();
  const auto& ports = stack.ports();
  const auto& disks = stack.disks();
  if (node == kRootNode) {
    out->id = "HTREE\\ROOT\\0";
    return true;
  }
  if (node >= portNode(0) && node < portNode(ports.size())) {
    out->id = instanceIdOf(ports[node - portNode(0)]->path());
    out->parent = kRootNode;
    return true;
  }
  if (node >= diskNode(0) && node < diskNode(disks.size())) {
    const Disk& disk = *disks[node - diskNode(0)];
    out->id = instanceIdOf(disk.path);
    out->parent = disk.port >= 0 ? portNode(static_cast<size_t>(disk.port)) : kAdapterNodes + (node - diskNode(0));
    out->drive = static_cast<int>(disk.number);
    return true;
  }
  if (node >= kAdapterNodes && node < kAdapterNodes + disks.size()) {
    out->id = "PCI\\VEN_1B4B&DEV_9230&SUBSYS_00000000&REV_00\\4&" + std::to_string(node - kAdapterNodes) + "&0&E4";
    out->parent = kRootNode;
    return true;
  }
  return false;
}

// A fault on the call about this node: its CONFIGRET.
CONFIGRET faultOf(const char* function, const Node& node) {
  FaultRequest request("cfgmgr32");
  request.name = function;
  request.drive = node.drive;
  const rapidjson::Value* fault = Machine::current().part<Faults>().take(request);
  return fault ? static_cast<CONFIGRET>(faultNumber(*fault, "error", CR_NO_SUCH_DEVNODE)) : CR_SUCCESS;
}

}  // namespace

CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags) {
  if (!parent) return CR_INVALID_POINTER;
  *parent = 0;
  if (flags) return CR_INVALID_FLAG;
  Node found;
  if (!nodeOf(node, &found)) return CR_INVALID_DEVNODE;
  if (CONFIGRET fault = faultOf("CM_Get_Parent", found)) return fault;
  if (!found.parent) return CR_NO_SUCH_DEVNODE;
  *parent = found.parent;
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG bufferLength, ULONG flags) {
  if (!buffer) return CR_INVALID_POINTER;
  if (flags) return CR_INVALID_FLAG;
  Node found;
  if (!nodeOf(node, &found)) return CR_INVALID_DEVNODE;
  if (CONFIGRET fault = faultOf("CM_Get_Device_IDW", found)) return fault;
  std::u16string id = widen(found.id);
  if (bufferLength < id.size()) return CR_BUFFER_SMALL;
  for (size_t i = 0; i < id.size(); ++i) buffer[i] = id[i];
  if (bufferLength > id.size()) buffer[id.size()] = 0;
  return CR_SUCCESS;
}
