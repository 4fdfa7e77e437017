// Status words: one unsigned 64-bit word for every fallible operation.
//   bits 63..48  number of the raising source file (0: not in the table)
//   bits 47..32  source line
//   bits 30..26  layer (1 parser, 2 front end, 3 back end, 4 library,
//                5 OS layer, 6 operating-system or runtime error number)
//   bits  7..0   code
// 0 is success.
#pragma once

#include "osl/osl_types.h"

enum orv_status_layer : u32 {
  ORV_LAYER_PARSER = 1,
  ORV_LAYER_FEND = 2,
  ORV_LAYER_BEND = 3,
  ORV_LAYER_ORVLIB = 4,
  ORV_LAYER_OSL = 5,
  ORV_LAYER_SYS = 6,
};

// One entry of a number-to-name table.
struct orvlib_strnum_map {
  u16 number;
  char name[256];
};

extern const orvlib_strnum_map orvlib_src_file_map[];  // 73 source files
extern const orvlib_strnum_map orvlib_err_code_map[];  // 199 codes
extern const char orvlib_msg_catalogue[];              // "ORVERR0:...;ORVERR1:...;"

extern "C" ORV_EXPORT u64 _orv_parser_status(u16 code, const char* sourcePath, u32 line);
extern "C" ORV_EXPORT u64 _orv_fend_status(u16 code, const char* sourcePath, u32 line);
extern "C" ORV_EXPORT u64 _orv_bend_status(u16 code, const char* sourcePath, u32 line);
extern "C" ORV_EXPORT u64 _orv_orvlib_status(u16 code, const char* sourcePath, u32 line);
extern "C" ORV_EXPORT u64 _orv_osl_status(u16 code, const char* sourcePath, u32 line);
extern "C" ORV_EXPORT u64 _orv_sys_status(u16 code, const char* sourcePath, u32 line);

extern "C" ORV_EXPORT u32 orv_status_code(u64 word);
u32 orv_status_layer_of(u64 word);
extern "C" ORV_EXPORT u32 orv_print_status(u64 word);
extern "C" ORV_EXPORT u32 orv_status_msgid(u64 word, char* out, u32 size);
extern "C" ORV_EXPORT u32 orv_status_msgstr(u64 word, char* out, u32 size);
extern "C" ORV_EXPORT u32 orv_get_status_msg(u64 word, char* out, u32 size);

extern "C" ORV_EXPORT u32 orvlib_get_msg_string(const char* msgid, char* out, u32 size);
extern "C" ORV_EXPORT u32 orvlib_get_str(const orvlib_strnum_map* table, u16 number, char* out,
                                          u32 size);
extern "C" ORV_EXPORT u32 orvlib_get_num(const orvlib_strnum_map* table, const char* name,
                                          u16* number);
extern "C" ORV_EXPORT u32 orvlib_strnum_map_size(const orvlib_strnum_map* table);

void status_file_id(const char* sourcePath, u16* number);
u64 osl_split_path(const char* path, char* dirOut, u32 dirSize, char* fileOut, u32 fileSize);

// The base name of a source path, so that a word's file number never
// depends on where the tree was checked out.
constexpr const char* orv_source_base(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

#define ORV_SOURCE orv_source_base(__FILE__)
// Words raised at the current source line.
#define ORV_OSL_STATUS(code) _orv_osl_status((code), ORV_SOURCE, __LINE__)
#define ORV_SYS_STATUS(code) _orv_sys_status((code), ORV_SOURCE, __LINE__)
#define ORV_LIB_STATUS(code) _orv_orvlib_status((code), ORV_SOURCE, __LINE__)

// Library codes used by name throughout the code.
enum orv_code : u16 {
  ORV_OK = 0,
  ORV_ERR_GENERIC = 1,
  ORV_ERR_NOT_INITIALIZED = 2,
  ORV_ERR_INVALID_ARGUMENT_SPECIFIED = 3,
  ORV_ERR_FW_FILE_SIZE = 4,
  ORV_ERR_NO_DEVICES = 5,
  ORV_ERR_BUFFER_LENGTH = 6,
  ORV_ERR_INDEX_OUT_OF_BOUND = 7,
  ORV_ERR_NO_MEMORY = 8,
  ORV_ERR_MODULE_CODE = 9,
  ORV_ERR_ERROR_CODE = 11,
  ORV_ERR_MESSAGE_ID = 12,
  ORV_ERR_OPEN_DEVICE = 13,
  ORV_ERR_DEVICE_DETAIL = 14,
  ORV_ERR_DEVICE_CLASS = 15,
  ORV_ERR_FILE_OPEN = 16,
  ORV_ERR_FILE_CLOSE = 17,
  ORV_ERR_FILE_POINTER = 18,
  ORV_ERR_QUERY_DEVICE = 19,
  ORV_ERR_INVALID_STRING = 21,
  ORV_ERR_INVALID_ARGUMENT = 25,
  ORV_ERR_FILE_PARSING = 27,
  ORV_ERR_MISSING_PARAMETER = 30,
  ORV_ERR_PARAMETER_VALUE = 35,
  ORV_ERR_ATA_IDENTIFY = 37,
  ORV_ERR_ATA_DOWNLOAD = 38,
  ORV_ERR_ATA_ACTIVATION = 40,
  ORV_ERR_UNSUPPORTED_DEVICE = 43,
  ORV_ERR_REBOOT_REQUIRED = 45,
  ORV_ERR_NOT_DIRECTORY = 57,
  ORV_ERR_NO_WRITE_PERMISSION = 58,
  ORV_ERR_FILE_READ = 59,
  ORV_ERR_FILE_WRITE = 60,
  ORV_ERR_NOT_PACKAGE = 61,
  ORV_ERR_CORRUPT_PACKAGE = 62,
  ORV_ERR_ENHANCED_ERASE_UNSUPPORTED = 77,
  ORV_ERR_INVALID_DATE = 78,
  ORV_ERR_FEATURE_UNSUPPORTED = 83,
  ORV_ERR_DMA_UNSUPPORTED = 86,
  ORV_ERR_DOWNLOAD_UNSUPPORTED = 90,
  ORV_ERR_SEGMENTED_UNSAFE = 98,
  ORV_ERR_MEMORY_MAPPING = 99,
  ORV_ERR_SCSI_INQUIRY = 109,
  ORV_ERR_SCSI_SUPPORTED_OPCODES = 110,
  ORV_ERR_SCSI_WRITE_BUFFER = 112,
  ORV_ERR_SCSI_MODE_SENSE = 113,
  ORV_ERR_FEATURE_CHANGE_UNSUPPORTED = 118,
  ORV_ERR_SCSI_READ_CAPACITY = 120,
  ORV_ERR_SELF_TEST_NOT_RUNNING = 125,
  ORV_ERR_SELF_TEST_UNSUPPORTED = 126,
  ORV_ERR_MODE_SENSE_FIELD = 127,
  ORV_ERR_ABORTED = 130,
  ORV_ERR_SCSI_TEST_UNIT_READY = 138,
  ORV_ERR_SCSI_START_STOP_UNIT = 139,
  ORV_ERR_ATA_STANDBY = 140,
  ORV_ERR_ATA_IDLE = 141,
  ORV_ERR_ATA_POWER_MODE = 142,
  ORV_ERR_NVME_IDENTIFY = 144,
  ORV_ERR_NVME_GET_FEATURES = 145,
  ORV_ERR_NVME_SET_FEATURES = 146,
  ORV_ERR_NVME_FW_COMMIT = 147,
  ORV_ERR_NVME_FW_DOWNLOAD = 148,
  ORV_ERR_NVME_GET_LOG = 149,
  ORV_ERR_NVME_NS_MANAGEMENT = 150,
  ORV_ERR_NVME_NS_ATTACHMENT = 151,
  ORV_ERR_NVME_FLUSH = 153,
  ORV_ERR_NVME_WRITE = 154,
  ORV_ERR_NVME_READ = 155,
  ORV_ERR_NVME_COMPARE = 156,
  ORV_ERR_NVME_FORMAT = 157,
  ORV_ERR_NVME_SECURITY_SEND = 158,
  ORV_ERR_NVME_SECURITY_RECEIVE = 159,
  ORV_ERR_DEVICE_LOCKED = 166,
  ORV_ERR_FORMAT_ACTIVE = 167,
  ORV_ERR_PARALLEL_NVME = 170,
  ORV_ERR_FEATURE_NOT_CHANGEABLE = 185,
  ORV_ERR_FW_OVERLAPPING_RANGES = 192,
  ORV_ERR_NVME_SELF_TEST = 195,
  ORV_ERR_NVME_SANITIZE = 196,
};
