// What the configuration writer leaves on disk beyond the text: the staged
// file's owner and mode, a killed writer's leftovers, writers in other
// processes at the same time, every failing file operation, and what a
// power cut at any moment of an update would leave.  The file operations
// go through a file system that records them, fails one on purpose, keeps
// track of what is not yet durable and lets no real time pass in a pause.
// Runs inside the sandbox.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/policy_fixture.h"
#include "syslogconf/file_system.h"
#include "syslogconf/velk_config.h"
#include "syslogconf/velk_policy_processor.h"

namespace {

const std::string kStaging = "/etc/.rsyslog.conf.new.tmp";
const std::string kLock = "/etc/.rsyslog.conf.new.lock";
const std::string kOpenError =
    "Error: Unable to open file /etc/rsyslog.conf.new ";
const std::string kWriteError =
    "Error: Unable to write file /etc/rsyslog.conf.new: ";
const std::string kLockError =
    "Error: Unable to lock file /etc/.rsyslog.conf.new.lock: ";

using Inode = std::pair<dev_t, ino_t>;

std::optional<Inode> InodeAt(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return Inode{st.st_dev, st.st_ino};
}

Inode InodeOf(int fd) {
  struct stat st;
  EXPECT_EQ(::fstat(fd, &st), 0);
  return {st.st_dev, st.st_ino};
}

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

// The system's file operations, with two additions.  It fails, once, the
// operation `fault` names.  And it keeps what a power cut could still
// undo: the files written since their last fsync, and the names changed
// in a directory since its last fsync (a power cut may leave such a name
// at its old file or at its new one).  After every operation it asks what
// a power cut right then would leave of each watched name, and notes in
// `lost` each one that could be left incomplete, or missing.
class FaultyFileSystem : public velk::FileSystem {
 public:
  struct Fault {
    std::string op, path;
    int error;
  };
  std::optional<Fault> fault;
  std::vector<std::string> calls;  // "op path"
  std::vector<std::string> lost;
  std::set<std::string> watched = {kLive, kNew};
  std::set<std::string> mayBeMissing = {kNew};
  unsigned pausedMs = 0;
  std::function<void()> onPause;

  // True when a power cut could still undo the last change of path's name.
  bool Undoable(const std::string& path) const {
    return undoable_.count(path) != 0;
  }

  int Open(const char* path, int flags, mode_t mode) override {
    const bool creates = (flags & O_CREAT) != 0 && !InodeAt(path);
    if (creates) NoteNameChange(path);
    const int fd =
        Call("open", path, [&] { return FileSystem::Open(path, flags, mode); });
    if (fd >= 0) {
      paths_[fd] = path;
      if (creates || (flags & O_TRUNC) != 0) unsynced_.insert(InodeOf(fd));
    }
    return Check(fd);
  }
  ssize_t Read(int fd, void* buffer, std::size_t size) override {
    return Check(Call("read", paths_[fd],
                      [&] { return FileSystem::Read(fd, buffer, size); }));
  }
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    return Changed(fd, Call("write", paths_[fd],
                            [&] { return FileSystem::Write(fd, data, size); }));
  }
  int Fchown(int fd, uid_t owner, gid_t group) override {
    return Changed(fd, Call("fchown", paths_[fd], [&] {
                     return FileSystem::Fchown(fd, owner, group);
                   }));
  }
  int Fchmod(int fd, mode_t mode) override {
    return Changed(fd, Call("fchmod", paths_[fd],
                            [&] { return FileSystem::Fchmod(fd, mode); }));
  }
  int Fsync(int fd) override {
    const int rc =
        Call("fsync", paths_[fd], [&] { return FileSystem::Fsync(fd); });
    struct stat st;
    if (rc == 0 && ::fstat(fd, &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        for (auto it = undoable_.begin(); it != undoable_.end();) {
          it = DirectoryOf(it->first) == paths_[fd] ? undoable_.erase(it)
                                                    : std::next(it);
        }
      } else {
        unsynced_.erase(InodeOf(fd));
      }
    }
    return Check(rc);
  }
  int Close(int fd) override {
    const std::string path = paths_[fd];
    paths_.erase(fd);
    // A failing close releases the descriptor all the same.
    const int rc = FileSystem::Close(fd);
    return Check(Call("close", path, [&] { return rc; }));
  }
  int Stat(const char* path, struct stat* status) override {
    return Check(
        Call("stat", path, [&] { return FileSystem::Stat(path, status); }));
  }
  int Rename(const char* from, const char* to) override {
    NoteNameChange(from);
    NoteNameChange(to);
    return Check(
        Call("rename", from, [&] { return FileSystem::Rename(from, to); }));
  }
  int Fstat(int fd, struct stat* status) override {
    return Check(Call("fstat", paths_[fd],
                      [&] { return FileSystem::Fstat(fd, status); }));
  }
  int Flock(int fd, int operation) override {
    return Check(Call("flock", paths_[fd],
                      [&] { return FileSystem::Flock(fd, operation); }));
  }
  void Pause(unsigned milliseconds) override {
    pausedMs += milliseconds;
    if (onPause) onPause();
  }
  int Unlink(const char* path) override {
    NoteNameChange(path);
    const std::optional<Inode> file = InodeAt(path);
    const int rc =
        Call("unlink", path, [&] { return FileSystem::Unlink(path); });
    if (rc == 0 && file) unsynced_.erase(*file);  // its number may come again
    return Check(rc);
  }

 private:
  template <typename Real>
  auto Call(const char* op, const std::string& path, Real real)
      -> decltype(real()) {
    calls.push_back(op + (" " + path));
    if (fault && fault->op == op && fault->path == path) {
      const int error = fault->error;
      fault.reset();
      errno = error;
      return -1;
    }
    return real();
  }
  template <typename T>
  T Changed(int fd, T rc) {
    if (rc >= 0) unsynced_.insert(InodeOf(fd));
    return Check(rc);
  }
  void NoteNameChange(const std::string& path) {
    if (undoable_.count(path) == 0) undoable_[path] = InodeAt(path);
  }
  // What a power cut now could leave at each watched name.
  template <typename T>
  T Check(T rc) {
    const int error = errno;
    for (const std::string& name : watched) {
      std::vector<std::optional<Inode>> outcomes = {InodeAt(name)};
      if (Undoable(name)) outcomes.push_back(undoable_.at(name));
      for (const std::optional<Inode>& file : outcomes) {
        if (!file ? mayBeMissing.count(name) == 0
                  : unsynced_.count(*file) != 0) {
          lost.push_back("after " + calls.back() + ": " + name +
                         (file ? " incomplete" : " missing"));
        }
      }
    }
    errno = error;
    return rc;
  }

  std::map<int, std::string> paths_;
  std::set<Inode> unsynced_;
  std::map<std::string, std::optional<Inode>>
      undoable_;  // name -> its durable file
};

class FileSafetyTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    for (const std::string& path : {kNew, kLive, kStaging, kLock})
      ::unlink(path.c_str());
    WriteFile(kIn, kTemplate);
    policy.m_bLocalLogEnabled = true;
    VelkPolicyProcessor::SyslogServer_t server;
    server.enabled = server.healthEvent = true;
    server.proto = "udp";
    server.server = "127.0.0.1";
    server.port = "514";
    policy.m_vecSyslogServers = {server};
    velk::UseFileSystem(&files);
  }
  void TearDown() override {
    velk::UseFileSystem(nullptr);
    HostTest::TearDown();
  }
  bool Configure() {
    VelkConfig config;
    const bool ok = config.Configure(&policy);
    message = config.m_strErrorMessage;
    return ok;
  }
  static bool Commit() { return VelkConfig().CommitTempFiles(); }

  VelkPolicyProcessor policy;
  FaultyFileSystem files;
  std::string message;
};

struct Owner {
  mode_t mode;
  uid_t uid;
  gid_t gid;
  bool operator==(const Owner& o) const {
    return mode == o.mode && uid == o.uid && gid == o.gid;
  }
};
std::ostream& operator<<(std::ostream& out, const Owner& o) {
  return out << std::oct << "0" << o.mode << std::dec << " " << o.uid << ":"
             << o.gid;
}
Owner OwnerOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return {st.st_mode & 07777, st.st_uid, st.st_gid};
}
void SetOwner(const std::string& path, const Owner& o) {
  ASSERT_EQ(::chown(path.c_str(), o.uid, o.gid), 0);
  ASSERT_EQ(::chmod(path.c_str(), o.mode), 0);
}

// The staged file, and the live file it becomes, take the live file's
// owner and mode, or root's and 0644 without a live file, whatever the
// host's umask, and are never writable by group or others.
TEST_F(FileSafetyTest, StagedFileTakesTheLiveFilesOwnerAndMode) {
  const gid_t adm = 4;
  const struct {
    const char* name;
    mode_t umask;
    std::optional<Owner> live;
    Owner want;
  } cases[] = {
      {"no live file, umask 000", 0, std::nullopt, {0644, 0, 0}},
      {"no live file, umask 077", 077, std::nullopt, {0644, 0, 0}},
      {"live 0640 root:adm, umask 000", 0, Owner{0640, 0, adm}, {0640, 0, adm}},
      {"live 0640 root:adm, umask 077",
       077,
       Owner{0640, 0, adm},
       {0640, 0, adm}},
      {"private live file", 0, Owner{0600, 0, 0}, {0600, 0, 0}},
      {"world-writable live file", 0, Owner{0666, 0, 0}, {0644, 0, 0}},
      {"group-writable live file of another owner",
       022,
       Owner{0664, 1000, adm},
       {0644, 1000, adm}},
      {"set-id bits", 0, Owner{06755, 0, 0}, {0755, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(kLive.c_str());
    if (c.live) {
      WriteFile(kLive, "live\n");
      SetOwner(kLive, *c.live);
    }
    const mode_t mask = ::umask(c.umask);
    const bool configured = Configure();
    ::umask(mask);
    ASSERT_TRUE(configured) << message;
    EXPECT_EQ(OwnerOf(kNew), c.want);
    ASSERT_TRUE(Commit());
    EXPECT_EQ(OwnerOf(kLive), c.want);
  }
}

// A killed writer's staged file is not reused: neither its stale tail nor
// whoever still holds it open reaches the new configuration.
TEST_F(FileSafetyTest, KilledWritersStagedFileIsReplaced) {
  ASSERT_TRUE(Configure()) << message;
  const std::string clean = ReadFile(kNew);
  ::unlink(kNew.c_str());

  std::string stale;
  while (stale.size() < 4 * clean.size())
    stale += "*.* |/bin/sh -c stale-tail\n";
  WriteFile(kStaging, stale);
  SetOwner(kStaging, {0666, 1000, 1000});
  const int holder = ::open(kStaging.c_str(), O_WRONLY);
  ASSERT_GE(holder, 0);
  ASSERT_TRUE(Configure()) << message;
  const std::string injected = "*.* |/bin/sh -c injected\n";
  EXPECT_EQ(::pwrite(holder, injected.data(), injected.size(), 0),
            static_cast<ssize_t>(injected.size()));
  ::close(holder);

  EXPECT_EQ(ReadFile(kNew), clean);
  EXPECT_EQ(OwnerOf(kNew), (Owner{0644, 0, 0}));
  EXPECT_FALSE(Exists(kStaging));
}

// A power cut at any moment of Process and Commit leaves a complete live
// configuration (the old one or the new one) and a complete new file or
// none; once Configure and CommitTempFiles have returned, what they did
// survives one.
TEST_F(FileSafetyTest, EveryMomentOfAnUpdateSurvivesAPowerCut) {
  for (const bool liveBefore : {true, false}) {
    SCOPED_TRACE(liveBefore ? "with a live file" : "without a live file");
    ::unlink(kLive.c_str());
    if (liveBefore) WriteFile(kLive, "live\n");
    files.mayBeMissing = {kNew};
    if (!liveBefore) files.mayBeMissing.insert(kLive);
    files.lost.clear();

    ASSERT_TRUE(Configure()) << message;
    EXPECT_FALSE(files.Undoable(kNew)) << "a power cut could undo the new file";
    ASSERT_TRUE(Commit());
    EXPECT_FALSE(files.Undoable(kLive)) << "a power cut could undo the commit";
    EXPECT_EQ(files.lost, std::vector<std::string>());
  }
}

// Each file operation of Configure that fails makes it fail with the
// system's reason, and leaves the files as they were and nothing behind.
TEST_F(FileSafetyTest, FailingFileOperationLeavesTheFilesAsTheyWere) {
  const struct {
    FaultyFileSystem::Fault fault;
    std::string message;
  } cases[] = {
      {{"open", kLock, EROFS}, kOpenError},
      {{"fstat", kLock, EIO}, kLockError + "Input/output error"},
      {{"flock", kLock, ENOLCK}, kLockError + "No locks available"},
      {{"open", kStaging, EACCES}, kOpenError},
      {{"fchown", kStaging, EPERM}, kWriteError + "Operation not permitted"},
      {{"fchmod", kStaging, EPERM}, kWriteError + "Operation not permitted"},
      {{"read", kIn, EIO}, kWriteError + "Input/output error"},
      {{"write", kStaging, ENOSPC}, kWriteError + "No space left on device"},
      {{"fsync", kStaging, EIO}, kWriteError + "Input/output error"},
      {{"close", kStaging, EIO}, kWriteError + "Input/output error"},
      {{"rename", kStaging, EXDEV}, kWriteError + "Invalid cross-device link"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault.op + " " + c.fault.path);
    WriteFile(kNew, "previous\n");
    WriteFile(kLive, "live\n");
    files.fault = c.fault;
    files.calls.clear();
    logger.lines.clear();
    EXPECT_FALSE(Configure());
    EXPECT_FALSE(files.fault) << "the operation was never called";
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(LinesAt(1), std::vector<std::string>{c.message});
    EXPECT_EQ(ReadFile(kNew), "previous\n");
    EXPECT_EQ(ReadFile(kLive), "live\n");
    EXPECT_FALSE(Exists(kStaging));
  }
}

// A commit whose rename fails keeps the live file and says why.
TEST_F(FileSafetyTest, FailingCommitRenameKeepsTheLiveFile) {
  WriteFile(kNew, "new\n");
  WriteFile(kLive, "live\n");
  files.fault = FaultyFileSystem::Fault{"rename", kNew, EIO};
  EXPECT_FALSE(Commit());
  EXPECT_EQ(ReadFile(kLive), "live\n");
  EXPECT_EQ(ReadFile(kNew), "new\n");
  const std::vector<std::string> log = LinesAt(12);
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "VelkConfig::replace_file: ERROR: The specified file "
                      "could not be renamed. Source file: "
                      "'/etc/rsyslog.conf.new', Destination file: "
                      "'/etc/rsyslog.conf'. Reason: Input/output error"),
            log.end());
}

// Another process that holds the writers' lock until released (or until
// the test process is gone).
class LockHolder {
 public:
  LockHolder() {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(kLock.c_str(), O_RDONLY | O_CREAT, 0600);
      char byte = 0;
      if (fd < 0 || ::flock(fd, LOCK_EX) != 0 ||
          ::write(ready[1], &byte, 1) != 1) {
        ::_exit(1);
      }
      while (::read(release[0], &byte, 1) < 0 && errno == EINTR) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char byte;
    held_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~LockHolder() { Release(); }
  bool Held() const { return held_; }
  void Release() {
    if (pid_ <= 0) return;
    ::close(release_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

// A writer waits while another process holds the writers' lock, and
// writes once it is let go; a holder that keeps it past the bound makes
// the write fail with the reason, the files left as they were.
TEST_F(FileSafetyTest, WriterWaitsForTheLockHolder) {
  ASSERT_TRUE(Configure()) << message;
  const std::string clean = ReadFile(kNew);
  {
    WriteFile(kNew, "previous\n");
    LockHolder holder;
    ASSERT_TRUE(holder.Held());
    int pauses = 0;
    files.onPause = [&] {
      if (++pauses == 3) holder.Release();
    };
    ASSERT_TRUE(Configure()) << message;
    EXPECT_EQ(pauses, 3);
    EXPECT_EQ(ReadFile(kNew), clean);
  }

  files.onPause = nullptr;
  files.pausedMs = 0;
  WriteFile(kNew, "previous\n");
  LockHolder holder;
  ASSERT_TRUE(holder.Held());
  logger.lines.clear();
  EXPECT_FALSE(Configure());
  const std::string timeout =
      kLockError + "another writer has held it for more than 10 seconds";
  EXPECT_EQ(message, timeout);
  EXPECT_EQ(LinesAt(1), std::vector<std::string>{timeout});
  EXPECT_GE(files.pausedMs, 10000u);
  EXPECT_LE(files.pausedMs, 10050u);
  EXPECT_EQ(ReadFile(kNew), "previous\n");
  EXPECT_FALSE(Exists(kStaging));
}

// The writers' lock file is made root's and 0600 whatever the umask, and
// taken back from anyone else, who could otherwise hold the lock; one
// that is no plain file is refused with the reason (a symbolic link is
// not followed) and the files are left as they were.
TEST_F(FileSafetyTest, LockFileIsPrivateToRoot) {
  const std::string target = "/tmp/lock-target";
  const struct {
    const char* name;
    mode_t umask;
    std::function<void()> arrange;
    std::string message;  // empty when the write succeeds
    std::string detail;   // a level 12 line that says why
  } cases[] = {
      {"made under umask 000", 0, nullptr, "", ""},
      {"made under umask 0277", 0277, nullptr, "", ""},
      {"someone else's, readable by all", 022,
       [] {
         WriteFile(kLock, "");
         SetOwner(kLock, {0644, 1000, 1000});
       },
       "", ""},
      {"a symbolic link", 022,
       [&] { ASSERT_EQ(::symlink(target.c_str(), kLock.c_str()), 0); },
       kOpenError,
       "VelkConfig::Configure: Unable to open file "
       "/etc/.rsyslog.conf.new.lock: Too many levels of symbolic links"},
      {"a directory", 022, [] { ASSERT_EQ(::mkdir(kLock.c_str(), 0700), 0); },
       kOpenError,
       "VelkConfig::Configure: Unable to open file "
       "/etc/.rsyslog.conf.new.lock: Is a directory"},
      {"a pipe", 022, [] { ASSERT_EQ(::mkfifo(kLock.c_str(), 0600), 0); },
       kLockError + "not a regular file", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(kLock.c_str());
    ::rmdir(kLock.c_str());
    WriteFile(kNew, "previous\n");
    if (c.arrange) c.arrange();
    logger.lines.clear();
    const mode_t mask = ::umask(c.umask);
    const bool configured = Configure();
    ::umask(mask);
    if (c.message.empty()) {
      EXPECT_TRUE(configured) << message;
      EXPECT_EQ(OwnerOf(kLock), (Owner{0600, 0, 0}));
      continue;
    }
    EXPECT_FALSE(configured);
    EXPECT_EQ(message, c.message);
    if (!c.detail.empty()) {
      const std::vector<std::string> log = LinesAt(12);
      EXPECT_NE(std::find(log.begin(), log.end(), c.detail), log.end());
    }
    EXPECT_EQ(ReadFile(kNew), "previous\n");
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(Exists(kStaging));
  }
  ::rmdir(kLock.c_str());
}

// Writers in several processes at once: every write succeeds, and every
// file that stands at /etc/rsyslog.conf.new, at any moment, is one
// writer's complete output.
TEST_F(FileSafetyTest, ConcurrentWritersPublishOnlyCompleteFiles) {
  velk::UseFileSystem(nullptr);  // the system's operations, at full pace
  // A large template, so that writing takes a while.
  WriteFile(kIn, kTemplate + std::string(256 * 1024, '#') + "\n");
  const int kWriters = 3;
  const int kRounds = 100;
  std::set<std::string> complete;
  for (int i = 0; i < kWriters; ++i) {
    policy.m_vecSyslogServers[0].port = std::to_string(5140 + i);
    ASSERT_TRUE(Configure()) << message;
    complete.insert(ReadFile(kNew));
  }
  ASSERT_EQ(complete.size(), static_cast<std::size_t>(kWriters));

  std::map<pid_t, int> writers;  // pid -> writer
  for (int i = 0; i < kWriters; ++i) {
    policy.m_vecSyslogServers[0].port = std::to_string(5140 + i);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
      for (int round = 0; round < kRounds; ++round) {
        if (!Configure()) {
          std::fprintf(stderr, "writer %d, round %d: %s\n", i, round,
                       message.c_str());
          ::_exit(1);
        }
      }
      ::_exit(0);
    }
    writers[pid] = i;
  }
  // Watches the name until every writer is done.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::minutes(5);
  std::vector<std::string> foreign;  // what else stood there
  while (!writers.empty()) {
    const std::string text = ReadFile(kNew);
    if (complete.count(text) == 0 && foreign.size() < 5) {
      foreign.push_back(std::to_string(text.size()) + " bytes");
    }
    for (auto it = writers.begin(); it != writers.end();) {
      int status = 0;
      if (::waitpid(it->first, &status, WNOHANG) != it->first) {
        ++it;
        continue;
      }
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "writer " << it->second << " failed";
      it = writers.erase(it);
    }
    if (std::chrono::steady_clock::now() > deadline) {
      for (const auto& writer : writers) {
        ::kill(writer.first, SIGKILL);
        ::waitpid(writer.first, nullptr, 0);
      }
      FAIL() << "writers still running after 5 minutes";
    }
  }
  EXPECT_EQ(foreign, std::vector<std::string>());
  EXPECT_EQ(complete.count(ReadFile(kNew)), 1u);
  EXPECT_FALSE(Exists(kStaging));
}

}  // namespace
