// Building status words and turning them into message ids and texts.
#include <cstdio>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_util.h"

namespace {

u64 buildStatus(u32 layer, u16 code, const char* sourcePath, u32 line) {
  if (code == 0) return 0;
  u16 number = 0;
  status_file_id(sourcePath, &number);
  return (static_cast<u64>(number) << 48) | (static_cast<u64>(line & 0xFFFF) << 32) |
         (static_cast<u64>(layer & 31) << 26) | (code & 0xFF);
}

// Message id of a word: "ORVERR<code>" for layers 1 to 5, "ORVSYS" for layer 6.
u32 messageIdOf(u64 word, char* out, u32 size) {
  u32 layer = orv_status_layer_of(word);
  if (layer == 0 || layer > 6) return ORV_ERR_MODULE_CODE;
  if (layer == 6) {
    std::snprintf(out, size, "%s", "ORVSYS");
    return 0;
  }
  return orvlib_get_str(orvlib_err_code_map, static_cast<u16>(orv_status_code(word)), out, size);
}

}  // namespace

u64 _orv_parser_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_PARSER, code, path, line);
}
u64 _orv_fend_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_FEND, code, path, line);
}
u64 _orv_bend_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_BEND, code, path, line);
}
u64 _orv_orvlib_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_ORVLIB, code, path, line);
}
u64 _orv_osl_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_OSL, code, path, line);
}
u64 _orv_sys_status(u16 code, const char* path, u32 line) {
  return buildStatus(ORV_LAYER_SYS, code, path, line);
}

u32 orv_status_code(u64 word) { return static_cast<u32>(word & 0xFF); }
u32 orv_status_layer_of(u64 word) { return static_cast<u32>((word >> 26) & 31); }
u32 orv_print_status(u64) { return 0; }

void status_file_id(const char* sourcePath, u16* number) {
  char directory[64];
  char file[64];
  if (osl_split_path(sourcePath, directory, sizeof directory, file, sizeof file) != 0) return;
  if (char* extension = std::strrchr(file, '.')) *extension = '\0';
  orvlib_get_num(orvlib_src_file_map, file, number);
}

u32 orvlib_get_str(const orvlib_strnum_map* table, u16 number, char* out, u32 size) {
  u32 entries = orvlib_strnum_map_size(table);
  for (u32 i = 0; i < entries; ++i) {
    if (table[i].number != number) continue;
    std::snprintf(out, size, "%s", table[i].name);
    return 0;
  }
  return ORV_ERR_ERROR_CODE;
}

u32 orvlib_get_num(const orvlib_strnum_map* table, const char* name, u16* number) {
  u32 entries = orvlib_strnum_map_size(table);
  for (u32 i = 0; i < entries; ++i) {
    if (std::strcmp(table[i].name, name) != 0) continue;
    *number = table[i].number;
    return 0;
  }
  return ORV_ERR_MESSAGE_ID;
}

u32 orvlib_get_msg_string(const char* msgid, char* out, u32 size) {
  if (size < 256) return ORV_ERR_GENERIC;
  const char* record = orvlib_msg_catalogue;
  while (*record) {
    const char* end = std::strchr(record, ';');
    size_t length = end ? static_cast<size_t>(end - record) : std::strlen(record);
    char work[512];
    if (length >= sizeof work) length = sizeof work - 1;
    std::memcpy(work, record, length);
    work[length] = '\0';
    if (char* colon = std::strchr(work, ':')) {
      *colon = '\0';
      if (std::strcmp(work, msgid) == 0) {
        std::snprintf(out, size, "%s", colon + 1);
        return 0;
      }
    }
    if (!end) break;
    record = end + 1;
  }
  return 0;
}

u32 orv_status_msgid(u64 word, char* out, u32 size) { return messageIdOf(word, out, size); }

u32 orv_status_msgstr(u64 word, char* out, u32 size) {
  u32 code = orv_status_code(word);
  u32 layer = orv_status_layer_of(word);
  if (word != 0) {
    if (layer == 0 || layer > 6) return ORV_ERR_MODULE_CODE;
    if (layer == 6) return static_cast<u32>(osl_get_sys_error_text(static_cast<u16>(code), out, size));
  }
  char msgid[256];
  if (orvlib_get_str(orvlib_err_code_map, static_cast<u16>(code), msgid, sizeof msgid) != 0)
    return ORV_ERR_ERROR_CODE;
  return orvlib_get_msg_string(msgid, out, size);
}

u32 orv_get_status_msg(u64 word, char* out, u32 size) {
  if (!out || size == 0) return 0;
  std::memset(out, 0, size);
  char msgid[256] = "";
  bool idFound = messageIdOf(word, msgid, sizeof msgid) == 0;
  char text[256] = "";
  bool textFound = orv_status_msgstr(word, text, sizeof text) == 0;
  if (idFound) std::snprintf(out, size, "%s", msgid);
  if (textFound) {
    size_t used = std::strlen(out);
    std::snprintf(out + used, size - used, ": %s", text);
  }
  return 0;
}
