// The file operations through which configurations are written and
// committed, and the pause of a writer that waits for another's lock.  The
// system's are used unless a test puts its own in front, one that records
// them, fails them on purpose, works out what a power cut at any moment
// would leave or lets no real time pass.
#ifndef VELKCONF_SYSLOGCONF_FILE_SYSTEM_H_
#define VELKCONF_SYSLOGCONF_FILE_SYSTEM_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace velk {

// Each operation does what the system call of its name does, and fails
// the same way: -1 with errno set.
class FileSystem {
 public:
  virtual ~FileSystem();
  virtual int Open(const char* path, int flags, mode_t mode);
  virtual ssize_t Read(int fd, void* buffer, std::size_t size);
  virtual ssize_t Write(int fd, const void* data, std::size_t size);
  virtual int Fsync(int fd);
  virtual int Fchown(int fd, uid_t owner, gid_t group);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Close(int fd);
  virtual int Stat(const char* path, struct stat* status);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int Fstat(int fd, struct stat* status);
  virtual int Flock(int fd, int operation);
  // Sleeps for milliseconds, however many signals arrive meanwhile.
  virtual void Pause(unsigned milliseconds);
};

// The file system in use.
FileSystem& Files();
// Puts files in use (nullptr: the system's again); returns the one before.
FileSystem* UseFileSystem(FileSystem* files);

}  // namespace velk

#endif  // VELKCONF_SYSLOGCONF_FILE_SYSTEM_H_
