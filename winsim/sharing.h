// Windows file sharing on the host: each open of a file through the simulated
// machine marks what it does and what it denies with shared locks on bytes
// far beyond any file's end, so that other opens, also from other processes,
// can test them.
#pragma once

namespace winsim {

struct Sharing {
  bool reads = false;
  bool writes = false;
  bool sharesRead = true;
  bool sharesWrite = true;
};

// Checks the other opens of the file open on fd and marks this one; false
// (errno EACCES) when they forbid it. The marks go with the descriptor.
bool takeSharing(int fd, const Sharing& sharing);

}  // namespace winsim
