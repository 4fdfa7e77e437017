// UTF-8 and UTF-16 conversion used inside the simulated machine.
#pragma once

#include <string>

namespace winsim {

std::u16string widen(const std::string& utf8);
std::string narrow(const std::u16string& utf16);
std::string narrow(const char16_t* utf16);

}  // namespace winsim
