// The simulated machine's handle table: every kernel object a handle names.
#pragma once

#include <memory>

#include "winsim/win32_base.h"

namespace winsim {

struct KernelObject {
  virtual ~KernelObject() = default;
};

HANDLE newHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> objectOf(HANDLE handle);

// The object behind a handle when it is of the asked kind, else null.
template <typename T>
std::shared_ptr<T> objectAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(objectOf(handle));
}

// Handles that are open now (a test checks that nothing leaked).
size_t openHandleCount();

}  // namespace winsim
