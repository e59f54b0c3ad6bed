#include "syslogconf/velk_config.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/log_levels.h"
#include "syslogconf/file_system.h"
#include "syslogconf/rsyslog_rules.h"
#include "syslogconf/velk_policy_processor.h"
#include "velkconf/host_glue.h"

using velk::Files;

namespace {

const char* const kTemplatePath = "/etc/rsyslog.conf.in";
const char* const kNewPath = "/etc/rsyslog.conf.new";
const char* const kLivePath = "/etc/rsyslog.conf";
// Where the generated file is staged before it takes its name: the same
// directory, so that the final rename cannot cross a file system.  One
// fixed name, so that a process killed while writing leaves at most one
// stray file, which the next run replaces.
const char* const kStagingPath = "/etc/.rsyslog.conf.new.tmp";
// Writers of the generated file, in this process or any other, take turns:
// each holds an exclusive flock on this file from before it clears the
// staging name until its file has taken its final name.  Otherwise a
// second writer would remove the first one's staged file and make its own
// under the same name, which the first would then rename into place half
// written.  The file stays, empty, root's and 0600, so that no one else
// can open it to hold the lock; a symbolic link in its place is refused.
const char* const kLockPath = "/etc/.rsyslog.conf.new.lock";
const mode_t kLockFileMode = 0600;
// How long a writer waits for another to finish, and the longest pause
// between two attempts to take the lock.
const unsigned kLockWaitMs = 10000;
const unsigned kLockPauseMaxMs = 50;
const char* const kRestartCommand = "service syslog restart >/dev/null 2>&1";
// The staged file's mode when there is no live file to take it from.
const mode_t kNewFileMode = 0644;
// Never in the staged file's mode: the daemon runs what the file says, as
// root.
const mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

const char* const kTemplateOpenError =
    "Error: Unable to open file /etc/rsyslog.conf.in ";
const char* const kOutputOpenError =
    "Error: Unable to open file /etc/rsyslog.conf.new ";
const char* const kOutputWriteError =
    "Error: Unable to write file /etc/rsyslog.conf.new: ";
const char* const kLockError =
    "Error: Unable to lock file /etc/.rsyslog.conf.new.lock: ";

const char* Word(bool value) { return value ? "true" : "false"; }

std::string Reason(int error) { return std::strerror(error); }

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A descriptor closed when it goes out of scope, unless closed before.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  int Get() const { return m_fd; }
  // 0, or -1 with errno set.
  int Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 ? 0 : Files().Close(fd);
  }

 private:
  int m_fd;
};

// false with errno set.
bool ReadAll(int fd, std::string& text) {
  char chunk[8192];
  for (;;) {
    const ssize_t got = Files().Read(fd, chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

// false with errno set.
bool WriteAll(int fd, const std::string& text) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t put = Files().Write(fd, next, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    next += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

// Gives the open staged file the live file's owner and mode, or root's and
// kNewFileMode when there is no live file, never writable by group or
// others.  False with errno set.
bool TakeLiveOwnerAndMode(int fd) {
  struct stat live;
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = kNewFileMode;
  if (Files().Stat(kLivePath, &live) == 0 && S_ISREG(live.st_mode)) {
    owner = live.st_uid;
    group = live.st_gid;
    mode = live.st_mode & 0777;
  }
  return Files().Fchown(fd, owner, group) == 0 &&
         Files().Fchmod(fd, mode & ~kWritableByOthers) == 0;
}

// Takes the writers' lock on the open lock file, after making the file
// root's and 0600 if it is not; waits up to kLockWaitMs for the writer
// that holds it.  "" once held, else the message to fail with.
std::string TakeWritersLock(int fd) {
  const std::string failure = kLockError;
  struct stat lock;
  if (Files().Fstat(fd, &lock) != 0) return failure + Reason(errno);
  if (!S_ISREG(lock.st_mode)) return failure + "not a regular file";
  if ((lock.st_uid != 0 || lock.st_gid != 0 ||
       (lock.st_mode & 07777) != kLockFileMode) &&
      (Files().Fchown(fd, 0, 0) != 0 ||
       Files().Fchmod(fd, kLockFileMode) != 0)) {
    return failure + Reason(errno);
  }
  unsigned waited = 0;
  unsigned pause = 1;
  while (Files().Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return failure + Reason(errno);
    if (waited >= kLockWaitMs) {
      return failure + "another writer has held it for more than " +
             std::to_string(kLockWaitMs / 1000) + " seconds";
    }
    Files().Pause(pause);
    waited += pause;
    pause = std::min(2 * pause, kLockPauseMaxMs);
  }
  return "";
}

// Makes a rename in directory durable.  Best effort: the rename itself has
// already happened.
void SyncDirectory(const std::string& directory) {
  FileDescriptor dir(
      Files().Open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (dir.IsOpen()) Files().Fsync(dir.Get());
}

// The errno with which unlink(path) would fail, 0 if it would succeed; path
// must exist.
int WhyUnlinkWouldFail(const std::string& path) {
  struct stat file;
  if (::lstat(path.c_str(), &file) != 0) return errno;
  if (S_ISDIR(file.st_mode)) return EISDIR;
  const std::string directory = DirectoryOf(path);
  if (::access(directory.c_str(), W_OK | X_OK) != 0) return errno;
  // A file mounted over its name cannot be unlinked.  Device numbers do
  // not tell (an overlay reports its layers'), mount ids do.
  struct statx self;
  struct statx parent;
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID,
              &self) == 0 &&
      ::statx(AT_FDCWD, directory.c_str(), 0, STATX_MNT_ID, &parent) == 0 &&
      (self.stx_mask & parent.stx_mask & STATX_MNT_ID) != 0 &&
      self.stx_mnt_id != parent.stx_mnt_id) {
    return EBUSY;
  }
  if (S_ISREG(file.st_mode)) {
    FileDescriptor fd(
        Files().Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    int flags = 0;
    if (fd.IsOpen() && ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) == 0 &&
        (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
      return EPERM;
    }
  }
  return 0;
}

// Reports the policy's settings in the log, disabled servers included.
void ReportPolicy(const ForwardingPolicy& policy, const std::string& maxSize) {
  Log(kTrace, "Local syslog: enabled = %s, max size = %s",
      Word(policy.localLogEnabled), maxSize.c_str());
  for (const VelkPolicyProcessor::SyslogServer_t& server : policy.servers) {
    Log(kTrace,
        "Remote syslog server: enabled = %s, health event = %s, system event "
        "= %s, security event = %s, server = (%s)%s:%s",
        Word(server.enabled), Word(server.healthEvent),
        Word(server.systemEvent), Word(server.securityEvent),
        server.proto.c_str(), server.server.c_str(), server.port.c_str());
  }
}

// 0 when path is a regular file this process can read, else the errno
// that says why not.
int WhyUnreadable(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.IsOpen()) return errno;
  struct stat st;
  if (::fstat(file.Get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  char byte;
  if (::read(file.Get(), &byte, 1) < 0) return errno;
  return 0;
}

// Makes directory and its missing parents (mode applies to those made);
// false with errno set.
bool MakeDirectories(const std::string& directory, mode_t mode) {
  struct stat st;
  if (::stat(directory.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  const std::string parent = DirectoryOf(directory);
  if (parent != directory && !MakeDirectories(parent, 0755)) return false;
  if (::mkdir(directory.c_str(), mode) != 0) return errno == EEXIST;
  return ::chmod(directory.c_str(), mode) == 0;  // whatever the umask
}

}  // namespace

CSysConfig::~CSysConfig() {}

VelkConfig::VelkConfig() {}

VelkConfig::~VelkConfig() {}

bool VelkConfig::Fail(const std::string& message) {
  m_strErrorMessage = message;
  Log(kFailure, "%s", m_strErrorMessage.c_str());
  return false;
}

bool VelkConfig::ReadOptions(const ForwardingPolicy& policy,
                             RsyslogOptions& options) {
  std::string queue = kDefaultForwardQueue;
  // A host that does not know the parameter, or leaves it empty, gets the
  // default.
  if (!ConfigParameters::GetValue(kForwardQueueParameter, queue) ||
      queue.empty()) {
    queue = kDefaultForwardQueue;
  }
  if (!ParseForwardQueue(queue, options.queue)) {
    return Fail(std::string("Error: Invalid value '") + queue +
                "' of the configuration parameter " + kForwardQueueParameter +
                " (expected disk, memory or none) ");
  }
  if (FirstTlsServer(policy) == 0) return true;
  const struct {
    const char* name;
    std::string& value;
  } files[] = {{kTlsCaFileParameter, options.tlsCaFile},
               {kTlsCertFileParameter, options.tlsCertFile},
               {kTlsKeyFileParameter, options.tlsKeyFile}};
  for (const auto& file : files)
    ConfigParameters::GetValue(file.name, file.value);
  const std::string refusal = CheckTlsOptions(policy, options);
  if (!refusal.empty()) return Fail(refusal);
  // The daemon accepts a file it cannot read and then sends nothing: find
  // out here.
  for (const auto& file : files) {
    if (file.value.empty()) continue;
    const int error = WhyUnreadable(file.value);
    if (error != 0) {
      return Fail("Error: Unable to read file " + file.value +
                  " named by the configuration parameter " + file.name + ": " +
                  std::strerror(error) + " ");
    }
  }
  return true;
}

bool VelkConfig::Configure(XmlPolicyProcessor* processor) {
  const VelkPolicyProcessor* policy =
      dynamic_cast<VelkPolicyProcessor*>(processor);
  if (policy == nullptr) {
    return Fail("Error: No syslog forwarding policy to configure ");
  }
  ForwardingPolicy model;
  model.localLogEnabled = policy->m_bLocalLogEnabled;
  model.servers = policy->m_vecSyslogServers;
  RsyslogOptions options;
  if (!ReadOptions(model, options)) return false;
  const std::string refusal = CheckForwardingTexts(model, options);
  if (!refusal.empty()) return Fail(refusal);

  FileDescriptor templateFile(
      Files().Open(kTemplatePath, O_RDONLY | O_CLOEXEC, 0));
  if (!templateFile.IsOpen()) return Fail(kTemplateOpenError);

  // The output is written under a temporary name and renamed into place
  // once complete, so that /etc/rsyslog.conf.new is never seen half
  // written, not even by a Commit after this process died.
  struct stat existing;
  if (::lstat(kNewPath, &existing) == 0 && S_ISDIR(existing.st_mode)) {
    return Fail(kOutputOpenError);  // nothing can be renamed over it
  }
  FileDescriptor lock(Files().Open(
      kLockPath, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
      kLockFileMode));
  if (!lock.IsOpen()) {
    // Where the lock file cannot be made, the output could not be either.
    Log(kTrace, "VelkConfig::Configure: Unable to open file %s: %s", kLockPath,
        std::strerror(errno));
    return Fail(kOutputOpenError);
  }
  const std::string busy = TakeWritersLock(lock.Get());
  if (!busy.empty()) return Fail(busy);
  // A staged file found now is a killed writer's (a live one would hold
  // the lock).  It is removed, not reused: whoever holds it open could
  // still write into it.  The new one is open to its creator alone until
  // it has its final owner and mode, which do not depend on the umask.
  Files().Unlink(kStagingPath);
  FileDescriptor output(
      Files().Open(kStagingPath,
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!output.IsOpen()) return Fail(kOutputOpenError);

  std::string text;
  bool written =
      TakeLiveOwnerAndMode(output.Get()) && ReadAll(templateFile.Get(), text);
  int error = errno;
  templateFile.Close();
  if (written) {
    ReportPolicy(model, policy->m_strLocalLogMaxSize);
    text = RsyslogConfiguration(text, model, options);
    written = WriteAll(output.Get(), text) &&
              Files().Fsync(output.Get()) == 0 && output.Close() == 0 &&
              Files().Rename(kStagingPath, kNewPath) == 0;
    error = errno;
  }
  if (!written) {
    output.Close();
    Files().Unlink(kStagingPath);
    return Fail(kOutputWriteError + Reason(error));
  }
  SyncDirectory(DirectoryOf(kNewPath));
  return true;
}

bool VelkConfig::CommitTempFiles() const {
  Log(kTrace, "VelkConfig::CommitTempFiles: Entered method");
  const bool replaced = replace_file(kNewPath, kLivePath);
  // The disk queues' directory is made here, just before the daemon that
  // spools into it starts, and not when the file is written: writing the
  // file (a private render, say) changes nothing else on the sensor.
  if (!MakeDirectories(kSpoolDirectory, 0700)) {
    Log(kFailure,
        "VelkConfig::CommitTempFiles: Unable to create directory %s: %s",
        kSpoolDirectory, std::strerror(errno));
  }
  // The daemon is restarted whatever happened: its exit status is not ours
  // to judge.
  const int status = std::system(kRestartCommand);
  static_cast<void>(status);
  Log(kTrace, "VelkConfig::CommitTempFiles: Leaving method. Result: %s",
      Word(replaced));
  return replaced;
}

bool VelkConfig::replace_file(const std::string& source,
                              const std::string& destination) const {
  Log(kTrace, "VelkConfig::replace_file: Entered method");
  bool result = false;
  if (::access(source.c_str(), F_OK) != 0) {
    const std::string text =
        "ERROR: The specified file cannot be replaced because it cannot be "
        "accessed. File: '" +
        source + "' Reason: " + std::strerror(errno);
    Log(kTrace, "VelkConfig::replace_file: %s", text.c_str());
  } else {
    remove_file(destination);
    if (Files().Rename(source.c_str(), destination.c_str()) == 0) {
      SyncDirectory(DirectoryOf(destination));
      result = true;
    } else {
      const std::string text =
          "ERROR: The specified file could not be renamed. Source file: '" +
          source + "', Destination file: '" + destination +
          "'. Reason: " + std::strerror(errno);
      Log(kTrace, "VelkConfig::replace_file: %s", text.c_str());
    }
  }
  Log(kTrace, "VelkConfig::replace_file: Leaving method. Result: %s",
      Word(result));
  return result;
}

// The live file is never deleted: the rename that follows replaces it in
// one step, so that a live configuration exists at every moment, also when
// the rename fails or the process dies in between.  The log still reports
// what deleting it would have done.
bool VelkConfig::remove_file(const std::string& path) const {
  Log(kTrace, "VelkConfig::remove_file: Entered method");
  bool result = true;
  if (::access(path.c_str(), F_OK) != 0) {
    Log(kTrace, "VelkConfig::remove_file: File '%s' does not exist",
        path.c_str());
  } else if (const int error = WhyUnlinkWouldFail(path)) {
    Log(kTrace,
        "VelkConfig::remove_file: Unable to delete file '%s'. Reason: %s",
        path.c_str(), std::strerror(error));
    result = false;
  }
  Log(kTrace, "VelkConfig::remove_file: Leaving method. Result: %s",
      Word(result));
  return result;
}
