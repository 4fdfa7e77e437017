// Small platform services shared by the libraries and the application:
// system error texts, process names, the administrator test and the lock
// folder.
#pragma once

#include "osl/osl_types.h"

// The operating system's message for a Windows error number, converted to
// the system code page (out holds at least 256 bytes).
u64 osl_get_sys_error_text(u16 errorNumber, char* out, u32 size);

// The base name of a process's image, without an ".exe" (out holds 256 bytes).
u64 osl_get_process_name(u32 processId, char* out);

// 0 when the process token belongs to the built-in Administrators group.
u32 osl_is_not_admin();

constexpr u32 OSL_PATH_SIZE = 256;
// The program-data folder (out holds OSL_PATH_SIZE bytes).
u64 osl_get_programdata_path(char* out);
// Makes programdata\ORVENTA\VORMEL\lock level by level; its path goes to out.
u64 osl_make_lock_dir(char* out);
// out = the lock folder, "\" and the last path component of name.
u64 osl_get_lock_path(const char* name, char* out);
