#include "syslogconf/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace velk {

namespace {

FileSystem g_system;
FileSystem* g_files = &g_system;

}  // namespace

FileSystem::~FileSystem() {}

int FileSystem::Open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

ssize_t FileSystem::Read(int fd, void* buffer, std::size_t size) {
  return ::read(fd, buffer, size);
}

ssize_t FileSystem::Write(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}

int FileSystem::Fsync(int fd) { return ::fsync(fd); }

int FileSystem::Fchown(int fd, uid_t owner, gid_t group) {
  return ::fchown(fd, owner, group);
}

int FileSystem::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int FileSystem::Close(int fd) { return ::close(fd); }

int FileSystem::Stat(const char* path, struct stat* status) {
  return ::stat(path, status);
}

int FileSystem::Rename(const char* from, const char* to) {
  return std::rename(from, to);
}

int FileSystem::Unlink(const char* path) { return ::unlink(path); }

int FileSystem::Fstat(int fd, struct stat* status) {
  return ::fstat(fd, status);
}

int FileSystem::Flock(int fd, int operation) { return ::flock(fd, operation); }

void FileSystem::Pause(unsigned milliseconds) {
  struct timespec left;
  left.tv_sec = milliseconds / 1000;
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

FileSystem& Files() { return *g_files; }

FileSystem* UseFileSystem(FileSystem* files) {
  FileSystem* const before = g_files == &g_system ? nullptr : g_files;
  g_files = files != nullptr ? files : &g_system;
  return before;
}

}  // namespace velk
