// Files and folders of the OS layer: tests, open and close wrappers, printing
// and read-only file mapping.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "osl/osl_platform.h"
#include "osl/osl_types.h"

// A read-only mapping of a whole file.
struct OslMappedFile {
  HANDLE* fileCell;  // separately allocated cell holding the file handle
  HANDLE mapping;
  const void* view;  // the whole file while mapped
};

// Modes of osl_fopen.
enum osl_file_mode : u32 {
  OSL_FILE_READ = 1,           // "r"
  OSL_FILE_READ_UPDATE = 2,    // "r+"
  OSL_FILE_WRITE_TEXT = 3,     // "wt"
  OSL_FILE_UPDATE_TEXT = 4,    // "w+t"
  OSL_FILE_APPEND_TEXT = 5,    // "at"
  OSL_FILE_APPEND_UPDATE = 6,  // "a+t"
  OSL_FILE_READ_BINARY = 7,    // "rb"
  OSL_FILE_WRITE_BINARY = 8,   // "wb+"
  OSL_FILE_APPEND_BINARY = 9,  // "ab+"
};

u64 osl_mkdir(const char* path);
u64 osl_dir_writable(const char* path);  // 0 or code 1
u64 osl_dir_exists(const char* path);    // 0 or code 16
u64 osl_is_file(const char* path);       // 0 or code 16
// The size of a file or folder; 0, or the word of osl_stat_error_status.
u64 osl_file_size(const char* path, u64* size);

// out = dir + "\" + name, or name alone when dir is empty. Returns the bare
// number 25 when dir, name or outSize is missing, code 6 when out is too small.
u64 osl_path_join(const char* dir, const char* name, char* out, u32 outSize);

// Opens with the mode's text, denying other writers; none on failure (which
// is reported to the event log).
FILE* osl_fopen(const char* path, u32 mode);
u64 osl_fclose(FILE* stream);
u64 osl_fflush(FILE* stream);
int osl_fprintf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int osl_vfprintf(FILE* stream, const char* format, va_list arguments);

// Creates path only when nothing of that name exists, denying other writers
// while the bytes are written. 0; code 16 when it cannot be created, with the
// system's reason in systemError (ERROR_FILE_EXISTS: it exists already); code
// 60 when not every byte was written, the file then being removed again.
u64 osl_create_new_file(const char* path, const void* bytes, u32 length, u32* systemError);
// Deletes a file: 0, or the word of osl_remove_error_status.
u64 osl_remove_file(const char* path);

u64 osl_map_file(const char* path, OslMappedFile* map);
void osl_unmap_file(OslMappedFile* map);

// Failure words for callers that detected the failure themselves.
u64 osl_stat_error_status();
u64 osl_remove_error_status();
u64 osl_open_error_status();
