// The device tree of the simulated machine: the storage ports (children of
// the root), the disks, each the child of the port whose driver presents it
// or of an adapter of its own that is no storage port of the machine.
#pragma once

#include <cstddef>

#include "winsim/win32.h"

namespace winsim {

constexpr DEVINST kRootNode = 1;
inline DEVINST portNode(size_t port) { return static_cast<DEVINST>(0x100 + port); }
inline DEVINST diskNode(size_t disk) { return static_cast<DEVINST>(0x10000 + disk); }

}  // namespace winsim
