#include "winsim/sharing.h"

#include <errno.h>
#include <fcntl.h>

namespace winsim {
namespace {

constexpr off_t kMarkBase = 0x7FFFFFFFFFFFFF00;
enum Mark { kReader, kWriter, kDeniesRead, kDeniesWrite };

struct flock markLock(short type, Mark mark) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kMarkBase + mark;
  lock.l_len = 1;
  return lock;
}

bool heldByOthers(int fd, Mark mark) {
  struct flock probe = markLock(F_WRLCK, mark);
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

void setMark(int fd, Mark mark) {
  struct flock lock = markLock(F_RDLCK, mark);
  fcntl(fd, F_OFD_SETLK, &lock);  // a write-only descriptor cannot mark; it only tests
}

}  // namespace

bool takeSharing(int fd, const Sharing& sharing) {
  bool refused = (sharing.reads && heldByOthers(fd, kDeniesRead)) ||
                 (sharing.writes && heldByOthers(fd, kDeniesWrite)) ||
                 (!sharing.sharesRead && heldByOthers(fd, kReader)) ||
                 (!sharing.sharesWrite && heldByOthers(fd, kWriter));
  if (refused) {
    errno = EACCES;
    return false;
  }
  if (sharing.reads) setMark(fd, kReader);
  if (sharing.writes) setMark(fd, kWriter);
  if (!sharing.sharesRead) setMark(fd, kDeniesRead);
  if (!sharing.sharesWrite) setMark(fd, kDeniesWrite);
  return true;
}

}  // namespace winsim
