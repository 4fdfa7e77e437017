#include "winsim/text.h"

namespace winsim {

std::u16string widen(const std::string& utf8) {
  std::u16string out;
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    uint32_t point = 0xFFFD;
    size_t length = 1;
    if (lead < 0x80) {
      point = lead;
    } else if ((lead >> 5) == 0x6) {
      length = 2;
      point = lead & 0x1F;
    } else if ((lead >> 4) == 0xE) {
      length = 3;
      point = lead & 0x0F;
    } else if ((lead >> 3) == 0x1E) {
      length = 4;
      point = lead & 0x07;
    }
    if (length > 1) {
      if (i + length > utf8.size()) {
        point = 0xFFFD;
        length = utf8.size() - i;
      } else {
        for (size_t k = 1; k < length; ++k) {
          unsigned char next = static_cast<unsigned char>(utf8[i + k]);
          if ((next >> 6) != 0x2) {
            point = 0xFFFD;
            length = k;
            break;
          }
          point = (point << 6) | (next & 0x3F);
        }
      }
    }
    i += length;
    if (point >= 0x10000 && point <= 0x10FFFF) {
      point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point > 0x10FFFF ? 0xFFFD : point));
    }
  }
  return out;
}

std::string narrow(const std::u16string& utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    uint32_t point = utf16[i];
    if (point >= 0xD800 && point < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    if (point < 0x80) {
      out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (point >> 6)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (point >> 12)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (point >> 18)));
      out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
  return out;
}

std::string narrow(const char16_t* utf16) {
  return utf16 ? narrow(std::u16string(utf16)) : std::string();
}

}  // namespace winsim
