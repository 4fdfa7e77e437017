// Files, folders and read-only file mapping on the simulated machine.
// Paths may use "\" or "/".
#pragma once

#include "winsim/win32_base.h"
#include "winsim/win32_kernel.h"

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_EXECUTE 0x20000000
#define GENERIC_ALL 0x10000000

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004

#define ERROR_FILE_INVALID 1006L
#define ERROR_INVALID_ADDRESS 487L

// Regular files only: devices ("\\.\...") are not files of this group.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);

struct _OVERLAPPED;
// Synchronous only: an OVERLAPPED argument is refused.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               struct _OVERLAPPED* overlapped);
BOOL DeleteFileA(LPCSTR path);

// Read-only mappings of a whole file (PAGE_READONLY, size 0) and views of it.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
