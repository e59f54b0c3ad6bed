// velkhost: the reference host for libvelkconf, and the tool an operator
// uses to change a sensor's logging configuration.
//
// It does what a sensor's host process does (loads the plug-in with dlopen,
// initialises the XML parser library, hands the plug-in its four service
// objects and runs one policy update), and around it what an operator
// needs: the policy checked first, a lock, the daemon's own check, the
// restart verified and rolled back, and a record of what is live.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "cli.h"
#include "commands.h"
#include "host_services.h"
#include "live_system.h"
#include "locations.h"
#include "plugin_loader.h"
#include "policy_check.h"
#include "report.h"
#include "velkconf/velkconf.h"

namespace {

const char kNewFile[] = "/etc/rsyslog.conf.new";
const char kLiveFile[] = "/etc/rsyslog.conf";

std::string UtcNow() {
  const time_t now = time(nullptr);
  tm parts;
  gmtime_r(&now, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// One command's outcome: text for people as it goes, or one JSON object at
// the end.  Failures go to stderr once, in either case.
class Run {
 public:
  explicit Run(const Options& options)
      : options(options), start_(MonotonicMs()) {
    const char* name = CommandName(options.command);
    json.Set("command", name[0] ? name : "update");
  }
  const Options& options;
  JsonObject json;
  JsonObject files;
  JsonObject timings;

  void Say(const std::string& text) const {
    if (!options.json) std::cout << text;
  }
  void Time(const char* phase, long long since) {
    timings.Set(phase, MonotonicMs() - since);
  }
  int Finish(int status, const std::string& outcome) {
    json.Set("outcome", outcome);
    if (!files.Empty()) json.Set("files", files);
    timings.Set("total", MonotonicMs() - start_);
    json.Set("timings_ms", timings);
    json.Set("exit_status", static_cast<long long>(status));
    if (options.json) std::cout << json.Text() << "\n";
    return status;
  }
  int Fail(int status, const std::string& outcome, const std::string& message) {
    std::cerr << "velkhost: " << message << "\n";
    json.Set("message", message);
    return Finish(status, outcome);
  }

 private:
  long long start_;
};

JsonObject FileReport(const std::string& path, const std::string& content) {
  return JsonObject().Set("path", path).Set("sha256", Sha256Hex(content));
}

// A file's checksum, or "missing"; open_flags as ReadFile takes them.
std::string ChecksumOf(const std::string& path, std::string* content = nullptr,
                       int open_flags = 0) {
  std::string text, error;
  if (!ReadFile(path, text, error, open_flags)) return "missing";
  if (content) *content = text;
  return Sha256Hex(text);
}

// diff -u of the live file and rendered; a missing live file shows as all
// lines added.  0 same, 1 different, -1 with the reason in output.
int Diff(const std::string& rendered, std::string& output) {
  const bool live = access(kLiveFile, F_OK) == 0;
  const int status =
      RunCapture({InstalledOr("diff"), "-u", "--label", kLiveFile, "--label",
                  std::string(kLiveFile) + " (new)",
                  live ? kLiveFile : "/dev/null", rendered},
                 output);
  return status == 0 || status == 1 ? status : -1;
}

// PreProcess, Process, PostProcess, Validate.  false with the reason.
bool RunProcess(const Plugin& plugin, const Options& options,
                const std::string& policy, std::string& error) {
  plugin.PreProcess();
  const unsigned char* buffer =
      options.from_repository
          ? nullptr
          : reinterpret_cast<const unsigned char*>(policy.data());
  const unsigned int size =
      options.from_repository ? 0 : static_cast<unsigned int>(policy.size());
  const long rc = plugin.Process(options.ns.c_str(), buffer, size);
  if (rc != 0) {
    error =
        "Process failed (" + std::to_string(rc) + "): " + plugin.LastError();
    return false;
  }
  long post = 0;
  plugin.PostProcess(0, &post);
  plugin.Validate();
  return true;
}

// A plain update, as a sensor's host runs it.
int Update(Run& run, const Plugin& plugin, const std::string& policy) {
  std::string error;
  if (!RunProcess(plugin, run.options, policy, error)) {
    return run.Fail(kExitFailed, "failed", error);
  }
  if (!run.options.commit) return run.Finish(kExitOk, "processed");
  Progress("committing " + std::string(kNewFile) + " and restarting syslog");
  if (plugin.Commit() != 0) {
    return run.Fail(kExitFailed, "failed",
                    "Commit failed: " + plugin.LastError());
  }
  return run.Finish(kExitOk, "committed");
}

// The daemon's check of the file at path: kExitOk when it accepts,
// kExitRejected, or kExitUnreadable (reported) when it could not run.  said
// receives what the daemon said.
int DaemonVerdict(Run& run, const std::string& path, std::string& said) {
  const long long since = MonotonicMs();
  const Verdict verdict = DaemonCheck(run.options.rsyslogd, path, said);
  run.Time("check", since);
  if (verdict == Verdict::kNotRun)
    return run.Fail(kExitUnreadable, "error", said);
  const bool accepted = verdict == Verdict::kAccepted;
  run.json.Set("daemon", JsonObject()
                             .Set("verdict", accepted ? "accepted" : "rejected")
                             .Set("output", said));
  return accepted ? kExitOk : kExitRejected;
}

// Process, and the file it wrote into rendered.  -1, or the exit status
// of a failure (reported).
int RenderNewFile(Run& run, const Plugin& plugin, const std::string& policy,
                  std::string& rendered) {
  std::string error;
  const long long since = MonotonicMs();
  if (!RunProcess(plugin, run.options, policy, error)) {
    return run.Fail(kExitFailed, "failed", error);
  }
  run.Time("render", since);
  if (!ReadFile(kNewFile, rendered, error)) {
    return run.Fail(kExitUnreadable, "error",
                    "cannot read the rendered file " + error);
  }
  run.files.Set("new", FileReport(kNewFile, rendered));
  return -1;
}

// Process in the private copy of /etc, then show the result.
int Render(Run& run, const Plugin& plugin, const std::string& policy) {
  const Options& o = run.options;
  std::string rendered;
  const int failed = RenderNewFile(run, plugin, policy, rendered);
  if (failed >= 0) return failed;
  run.files.Set(
      "live",
      JsonObject().Set("path", kLiveFile).Set("sha256", ChecksumOf(kLiveFile)));
  int status = kExitOk;
  std::string outcome = "rendered";
  if (o.diff) {
    std::string diff;
    status = Diff(kNewFile, diff);
    if (status < 0) return run.Fail(kExitUnreadable, "error", diff);
    outcome = status == 0 ? "same" : "differs";
    run.json.Set("diff", diff);
    run.Say(diff);
  } else {
    run.json.Set("rendered", rendered);
    run.Say(rendered);
  }
  if (!o.render_check) return run.Finish(status, outcome);
  std::string said;
  const int verdict = DaemonVerdict(run, kNewFile, said);
  if (verdict == kExitUnreadable) return verdict;
  if (!o.json) {
    std::cerr << o.rsyslogd << " -N1 "
              << (verdict == kExitOk ? "accepts" : "rejects") << " it:\n"
              << said;
  }
  if (verdict != kExitOk) return run.Finish(verdict, "rejected");
  return run.Finish(status, outcome);
}

// check POLICY: valid, renders, and the daemon accepts the result.
int CheckPolicy(Run& run, const Plugin& plugin, const std::string& policy) {
  std::string rendered;
  const int failed = RenderNewFile(run, plugin, policy, rendered);
  if (failed >= 0) return failed;
  const std::string name = PolicyName(run.options.policy);
  std::string said;
  const int verdict = DaemonVerdict(run, kNewFile, said);
  if (verdict == kExitUnreadable) return verdict;
  if (verdict != kExitOk) {
    return run.Fail(kExitRejected, "rejected",
                    name + ": valid, but " + run.options.rsyslogd +
                        " rejects the configuration it renders:\n" + said);
  }
  run.Say(name + ": valid; " + run.options.rsyslogd +
          " accepts the configuration it renders\n");
  return run.Finish(kExitOk, "accepted");
}

// check FILE: rsyslogd's verdict on an rsyslog configuration.
int CheckFile(Run& run) {
  const std::string& path = run.options.policy;
  std::string content, error;
  struct stat info;
  if (access(path.c_str(), R_OK) != 0 || stat(path.c_str(), &info) != 0) {
    return run.Fail(kExitUnreadable, "error", "cannot read " + Reason(path));
  }
  // The checksum of a file of a sensible size only: the daemon reads it.
  if (static_cast<unsigned long long>(info.st_size) <= run.options.max_size &&
      ReadFile(path, content, error)) {
    run.files.Set("checked", FileReport(path, content));
  }
  std::string said;
  const int verdict = DaemonVerdict(run, path, said);
  if (verdict == kExitUnreadable) return verdict;
  const bool accepted = verdict == kExitOk;
  run.Say(path + ": " + (accepted ? "accepted" : "rejected") + " by " +
          run.options.rsyslogd + "\n" + said);
  return run.Finish(verdict, accepted ? "accepted" : "rejected");
}

// Puts the last known good file back, restarts and verifies.  kExitOk, or
// kExitRollbackFailed with the reason reported.
int RestoreLastGood(Run& run, const StateFiles& files, State& state) {
  std::string error, content;
  const long long since = MonotonicMs();
  JsonObject report;
  struct stat info;
  if (!ReadFile(files.LastGood(), content, error, O_NOFOLLOW, &info)) {
    error = errno == ENOENT ? "there is no last known good configuration (" +
                                  files.LastGood() + ")"
                            : "cannot read the last known good " + error;
  } else if (WriteFileAtomically(kLiveFile, content, info.st_mode & ~022u,
                                 static_cast<int>(info.st_uid),
                                 static_cast<int>(info.st_gid), error)) {
    const unsigned long long ticks = BootTicksNow();
    std::string said;
    RunCapture({"service", "syslog", "restart"}, said);
    const DaemonState daemon = ProbeDaemon(run.options.daemon, ticks, true);
    report.Set("daemon", daemon.detail);
    if (!daemon.running) {
      error = "the last known good configuration is back in " +
              std::string(kLiveFile) +
              ", but syslog did not come up: " + daemon.detail;
    } else {
      run.Time("rollback", since);
      state["live_sha256"] = Sha256Hex(content);
      state["rolled_back_at"] = UtcNow();
      for (const char* key : {"policy", "policy_sha256", "applied_at"}) {
        state[key] = ValueOf(state, std::string("last_good_") + key);
      }
      state.erase("bad_sha256");
      run.json.Set("rollback", report.Set("ok", true));
      run.Say("rolled back: " + std::string(kLiveFile) +
              " is the last known good configuration again; " + daemon.detail +
              "\n");
      if (!SaveState(files, state, error))
        std::cerr << "velkhost: " << error << "\n";
      return kExitOk;
    }
  }
  run.Time("rollback", since);
  state["bad_sha256"] = ChecksumOf(kLiveFile);
  std::string unsaved;
  if (!SaveState(files, state, unsaved))
    std::cerr << "velkhost: " << unsaved << "\n";
  run.json.Set("rollback", report.Set("ok", false));
  std::cerr << "velkhost: rollback failed: " << error << "\n";
  run.json.Set("message", "rollback failed: " + error);
  return kExitRollbackFailed;
}

bool TakeLock(Run& run, const StateFiles& files, ApplyLock& lock, int& status) {
  std::string error;
  if (!MakeStateDir(files, error)) {
    status = run.Fail(kExitUnreadable, "error", error);
    return false;
  }
  if (!lock.Acquire(files.Lock(), run.options.wait_seconds, error)) {
    status = run.Fail(kExitLocked, "locked", error);
    return false;
  }
  return true;
}

// The live file (content live, status info) becomes the last known good
// one, with what produced it, unless it is the one a failed rollback left
// behind.
bool KeepLastGood(const StateFiles& files, const std::string& live,
                  const struct stat& info, State& state, std::string& error) {
  const std::string sum = Sha256Hex(live);
  if (ValueOf(state, "bad_sha256") == sum) return true;
  if (!WriteFileAtomically(files.LastGood(), live, info.st_mode,
                           static_cast<int>(info.st_uid),
                           static_cast<int>(info.st_gid), error)) {
    return false;
  }
  const bool known = ValueOf(state, "live_sha256") == sum;
  for (const char* key : {"policy", "policy_sha256", "applied_at"}) {
    state[std::string("last_good_") + key] =
        known ? ValueOf(state, key) : "unknown";
  }
  return SaveState(files, state, error);
}

// An update with the checks around Commit.
int Apply(Run& run, const Plugin& plugin, const std::string& policy) {
  const Options& o = run.options;
  const std::string name = PolicyName(o.policy);
  const StateFiles files;
  ApplyLock lock;
  int status = 0;
  if (!TakeLock(run, files, lock, status)) return status;

  std::string error, staged;
  long long since = MonotonicMs();
  if (!RunProcess(plugin, o, policy, error)) {
    return run.Fail(kExitFailed, "failed", error);
  }
  run.Time("render", since);
  if (!ReadFile(kNewFile, staged, error) ||
      !WriteFileAtomically(files.Checked(), staged, 0600, -1, -1, error)) {
    return run.Fail(kExitUnreadable, "error", error);
  }
  run.files.Set("new", FileReport(kNewFile, staged));
  if (o.check) {
    std::string said;
    const int verdict = DaemonVerdict(run, files.Checked(), said);
    if (verdict != kExitOk) std::remove(kNewFile);
    if (verdict == kExitUnreadable) return verdict;
    if (verdict == kExitRejected) {
      return run.Fail(kExitRejected, "rejected",
                      o.rsyslogd +
                          " rejects the configuration generated from " + name +
                          "; nothing was committed and " + kLiveFile +
                          " is unchanged. The daemon said:\n" + said);
    }
  }
  std::string live;
  struct stat live_info;
  const bool had_live = ReadFile(kLiveFile, live, error, 0, &live_info);
  if (had_live) run.files.Set("previous", FileReport(kLiveFile, live));
  if (o.diff) {
    std::string diff;
    if (Diff(files.Checked(), diff) < 0) {
      return run.Fail(kExitUnreadable, "error", diff);
    }
    run.json.Set("diff", diff);
    run.Say(diff);
  }
  if (!o.force && had_live && live == staged) {
    std::remove(kNewFile);
    run.Say("unchanged: " + std::string(kLiveFile) +
            " already holds this configuration; nothing committed\n");
    return run.Finish(kExitOk, "unchanged");
  }
  if (!o.commit) {
    run.Say("checked: " + std::string(kNewFile) + " is ready; not committed\n");
    return run.Finish(kExitOk, "checked");
  }

  State state;
  if (!LoadState(files, state, error)) {
    return run.Fail(kExitUnreadable, "error", error);
  }
  if (had_live && !KeepLastGood(files, live, live_info, state, error)) {
    return run.Fail(kExitUnreadable, "error",
                    "cannot keep the last known good file: " + error);
  }
  std::string now_staged;
  if (!ReadFile(kNewFile, now_staged, error) || now_staged != staged) {
    return run.Fail(kExitChanged, "changed",
                    std::string(kNewFile) +
                        " changed after it was checked (another writer?); "
                        "nothing was committed");
  }

  since = MonotonicMs();
  Progress("committing " + std::string(kNewFile) + " and restarting syslog");
  const unsigned long long ticks = BootTicksNow();
  const long committed = plugin.Commit();
  std::string now_live;
  const bool live_is_checked =
      ReadFile(kLiveFile, now_live, error) && now_live == staged;
  const DaemonState daemon = ProbeDaemon(o.daemon, ticks, true);
  run.Time("commit", since);
  run.json.Set(
      "restart",
      JsonObject().Set("ok", daemon.running).Set("daemon", daemon.detail));
  if (committed == 0 && live_is_checked && daemon.running) {
    state["live_sha256"] = Sha256Hex(staged);
    state["policy"] = o.from_repository ? "(the policy repository)" : name;
    state["policy_sha256"] = o.from_repository ? "unknown" : Sha256Hex(policy);
    state["applied_at"] = UtcNow();
    state.erase("bad_sha256");
    state.erase("rolled_back_at");
    if (!SaveState(files, state, error))
      std::cerr << "velkhost: " << error << "\n";
    run.Say("applied: " + std::string(kLiveFile) + " updated from " + name +
            "; syslog restarted (" + daemon.detail + ")\n");
    return run.Finish(o.detailed_exitcodes ? kExitApplied : kExitOk, "applied");
  }
  const std::string why =
      committed != 0 ? "Commit failed: " + plugin.LastError()
      : !live_is_checked
          ? std::string(kLiveFile) +
                " is not the checked file after the commit "
                "(another writer?)"
          : "syslog did not come up on the new configuration: " + daemon.detail;
  std::cerr << "velkhost: " << why << "\n";
  run.json.Set("message", why);
  if (!had_live) {
    state["bad_sha256"] = ChecksumOf(kLiveFile);
    if (!SaveState(files, state, error))
      std::cerr << "velkhost: " << error << "\n";
    const std::string what =
        "rollback failed: there was no live file before, so there is no "
        "last known good one. " +
        std::string(kLiveFile) + " is live now, from " + name + " (sha256 " +
        state["bad_sha256"] +
        "), and syslog is not running on it: correct the policy and run "
        "velkhost apply again, or put a working configuration in " +
        kLiveFile + " and run: service syslog restart";
    std::cerr << "velkhost: " << what << "\n";
    run.json.Set("message", what);
    return run.Finish(kExitRollbackFailed, "rollback-failed");
  }
  if (RestoreLastGood(run, files, state) != kExitOk) {
    return run.Finish(kExitRollbackFailed, "rollback-failed");
  }
  return run.Finish(kExitRolledBack, "rolled-back");
}

int Rollback(Run& run) {
  const StateFiles files;
  ApplyLock lock;
  int status = 0;
  if (!TakeLock(run, files, lock, status)) return status;
  std::string error;
  struct stat info;
  if (lstat(files.LastGood().c_str(), &info) != 0) {
    return run.Fail(
        kExitUnreadable, "error",
        "there is no last known good configuration (" + files.LastGood() + ")");
  }
  if (!S_ISREG(info.st_mode)) {
    return run.Fail(kExitUnreadable, "error",
                    files.LastGood() + ": not a regular file");
  }
  State state;
  if (!LoadState(files, state, error)) {
    return run.Fail(kExitUnreadable, "error", error);
  }
  if (RestoreLastGood(run, files, state) != kExitOk) {
    return run.Finish(kExitRollbackFailed, "rollback-failed");
  }
  return run.Finish(kExitOk, "rolled-back");
}

// The boot-clock tick at which path was last modified (0 when unknown).
unsigned long long ModifiedTicks(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return 0;
  timespec real;
  clock_gettime(CLOCK_REALTIME, &real);
  const long long age_ms =
      (static_cast<long long>(real.tv_sec) - info.st_mtim.tv_sec) * 1000 +
      (real.tv_nsec - info.st_mtim.tv_nsec) / 1000000;
  const unsigned long long hz =
      static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
  const unsigned long long now = BootTicksNow();
  const unsigned long long age =
      age_ms <= 0 ? 0 : static_cast<unsigned long long>(age_ms) * hz / 1000;
  // One tick of slack for the two clocks read apart.
  return age + 1 >= now ? 1 : now - age - 1;
}

int Status(Run& run) {
  const StateFiles files;
  State state;
  std::string error;
  if (!TrustStateDir(files, error) || !LoadState(files, state, error)) {
    return run.Fail(kExitUnreadable, "error", error);
  }
  const std::string live = ChecksumOf(kLiveFile);
  const std::string last_good =
      ChecksumOf(files.LastGood(), nullptr, O_NOFOLLOW);
  const auto value = [&](const char* key) {
    auto it = state.find(key);
    return it == state.end() || it->second.empty() ? std::string("unknown")
                                                   : it->second;
  };
  const bool recorded = live != "missing" && live == value("live_sha256");
  const DaemonState daemon =
      ProbeDaemon(run.options.daemon, ModifiedTicks(kLiveFile), false);
  run.files.Set("live",
                JsonObject().Set("path", kLiveFile).Set("sha256", live));
  run.files.Set(
      "last_good",
      JsonObject().Set("path", files.LastGood()).Set("sha256", last_good));
  run.json.Set("policy", JsonObject()
                             .Set("path", value("policy"))
                             .Set("sha256", value("policy_sha256")));
  run.json.Set("applied_at", value("applied_at"));
  run.json.Set("live_as_applied", recorded);
  run.json.Set(
      "daemon",
      JsonObject().Set("running", daemon.running).Set("detail", daemon.detail));
  std::string text;
  text += "live:       " + std::string(kLiveFile) + " sha256 " + live +
          (recorded ? "\n" : " (not as velkhost applied it)\n");
  text += "policy:     " + value("policy") + " sha256 " +
          value("policy_sha256") + "\n";
  text += "applied:    " + value("applied_at") + "\n";
  if (state.count("rolled_back_at"))
    text += "rolled back: " + value("rolled_back_at") + "\n";
  text += "last good:  " + files.LastGood() + " sha256 " + last_good + "\n";
  text += "daemon:     " +
          std::string(daemon.running ? "running on the live file ("
                                     : "not running on the live file (") +
          daemon.detail + ")\n";
  run.Say(text);
  return run.Finish(daemon.running ? kExitOk : kExitFailed,
                    daemon.running ? "running" : "not-running");
}

// "@(#)!MARK!value!MARK!" -> value, in words when empty.
std::string Identification(const char* text) {
  const std::string s = text ? text : "";
  const std::string::size_type mark = s.find('!');
  const std::string::size_type start =
      mark == std::string::npos ? mark : s.find('!', mark + 1);
  const std::string::size_type end =
      start == std::string::npos ? start : s.find('!', start + 1);
  if (end == std::string::npos) return s;
  const std::string value = s.substr(start + 1, end - start - 1);
  return value.empty() ? "(not set)" : value;
}

const char kNoLocation[] =
    "cannot find velkhost's own location (--plugin PATH and --schema PATH "
    "name the files)";

int Info(const Options& options) {
  Plugin plugin{};
  std::string error;
  if (options.plugin.empty()) error = kNoLocation;
  if (!error.empty() || !plugin.Load(options.plugin, error)) {
    std::cerr << "velkhost: " << error << "\n";
    return kExitUnreadable;
  }
  Dl_info where{};
  std::string path = "(unknown)";
  if (dladdr(reinterpret_cast<void*>(plugin.Process), &where) != 0 &&
      where.dli_fname != nullptr) {
    char* real = realpath(where.dli_fname, nullptr);
    path = real ? real : where.dli_fname;
    std::free(real);
  }
  std::cout << "name:      " << Identification(*plugin.name) << "\n"
            << "version:   " << Identification(*plugin.version) << "\n"
            << "special:   " << Identification(*plugin.special) << "\n"
            << "loaded:    " << path << "\n"
            << "namespace: " << VELKCONF_POLICY_NAMESPACE << "\n";
  plugin.Unload();
  return kExitOk;
}

// A policy rather than an rsyslog file: standard input, anything but a
// regular file, or a file whose first non-blank character is '<'.
bool LooksLikePolicy(const std::string& path) {
  struct stat info;
  if (path == "-" ||
      (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))) {
    return true;
  }
  std::string head, error;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[512];
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  head.assign(buffer, n);
  if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) head.erase(0, 3);
  const std::string::size_type first = head.find_first_not_of(" \t\r\n");
  return first != std::string::npos && head[first] == '<';
}

// Validates the policy text and refuses one that switches logging off.
// -1, or the exit status of a refusal (reported).
int CheckPolicyText(Run& run, const std::string& name,
                    const std::string& policy) {
  const Options& o = run.options;
  std::string error;
  PolicySummary summary;
  const long long since = MonotonicMs();
  const Validity validity =
      ValidatePolicy(policy, name, o.schema, summary, error);
  run.Time("validate", since);
  if (validity == Validity::kNoSchema) {
    return run.Fail(kExitUnreadable, "error", error);
  }
  if (validity == Validity::kInvalid) {
    return run.Fail(kExitFailed, "invalid", error);
  }
  const std::string silence = summary.Silence();
  if (!silence.empty() && !o.allow_silent) {
    return run.Fail(kExitFailed, "silent",
                    name + ": " + silence + " (--allow-silent accepts it)");
  }
  return -1;
}

// The policy file the plug-in reads from the repository: the pending copy
// under /tmp/ppd when there is one, else ROOT/policies/FILENAME.
std::string RepositoryPolicyPath(const Options& o) {
  const auto given = [](const std::map<std::string, std::string>& values,
                        const char* key, const char* otherwise) {
    const auto it = values.find(key);
    return it == values.end() || it->second.empty() ? std::string(otherwise)
                                                    : it->second;
  };
  const std::string root =
      given(o.parameters.values, "RepositoryRoot", "/etc/tesk");
  const std::string file = given(o.policy_info.values, "fileName", "");
  const std::string relative = given(o.policy_info.values, "relativePath", "");
  const std::string::size_type at =
      relative.empty() ? std::string::npos : file.find(relative);
  if (at != std::string::npos) {
    const std::string pending = "/tmp/ppd" + file.substr(at + relative.size());
    if (access(pending.c_str(), F_OK) == 0) return pending;
  }
  return root + "/policies/" + file;
}

// update, apply, render and check POLICY.
int PolicyCommand(Run& run) {
  const Options& o = run.options;
  std::string policy, error;
  const std::string name = PolicyName(o.policy);
  if (o.plugin.empty() || o.schema.empty()) {
    return run.Fail(kExitUnreadable, "error", kNoLocation);
  }
  if (!o.from_repository) {
    if (!ReadPolicy(o.policy, o.max_size, policy, error)) {
      return run.Fail(kExitUnreadable, "error", "cannot read policy " + error);
    }
    run.json.Set(
        "policy",
        JsonObject().Set("path", name).Set("sha256", Sha256Hex(policy)));
  }
  const bool private_world =
      o.command == Command::kRender || o.command == Command::kCheck;
  if (private_world && !EnterPrivateWorld(error)) {
    return run.Fail(kExitUnreadable, "error",
                    "no private copy of /etc: " + error);
  }
  try {
    xercesc::XMLPlatformUtils::Initialize();
  } catch (const xercesc::XMLException&) {
    return run.Fail(kExitUnreadable, "error",
                    "cannot initialise the XML parser library");
  }
  int status = -1;
  if (!o.from_repository) {
    status = CheckPolicyText(run, name, policy);
  } else {
    // The plug-in validates the repository's policy itself; velkhost reads
    // it too, to refuse one that switches logging off.
    const std::string path = RepositoryPolicyPath(o);
    std::string text;
    if (!ReadPolicy(path, o.max_size, text, error)) {
      status = run.Fail(kExitUnreadable, "error",
                        "cannot read the repository's policy " + error);
    } else {
      status = CheckPolicyText(run, path, text);
    }
  }
  Plugin plugin{};
  if (status < 0 && !plugin.Load(o.plugin, error)) {
    status = run.Fail(kExitUnreadable, "error", error);
  }
  if (status < 0) {
    StderrLogger logger(o.log_level);
    plugin.Initialize(&logger, &o.policy_info, &o.parameters, &o.capabilities);
    switch (o.command) {
      case Command::kApply:
        status = Apply(run, plugin, policy);
        break;
      case Command::kRender:
        status = Render(run, plugin, policy);
        break;
      case Command::kCheck:
        status = CheckPolicy(run, plugin, policy);
        break;
      default:
        status = Update(run, plugin, policy);
        break;
    }
    plugin.Uninitialize();
  }
  xercesc::XMLPlatformUtils::Terminate();
  plugin.Unload();
  return status;
}

int Main(int argc, char** argv) {
  Options options;
  const int parsed = ParseArguments(argc, argv, options);
  if (parsed >= 0) return parsed;
  const Locations where = FindLocations();
  if (!where.warning.empty())
    std::cerr << "velkhost: " << where.warning << "\n";
  if (options.schema.empty()) options.schema = where.schema;
  if (options.plugin.empty() && !where.plugins.empty()) {
    options.plugin = where.plugins.front();
    for (const std::string& candidate : where.plugins) {
      if (access(candidate.c_str(), F_OK) == 0) {
        options.plugin = candidate;
        break;
      }
    }
  }
  Run run(options);
  switch (options.command) {
    case Command::kInfo:
      return Info(options);
    case Command::kStatus:
      return Status(run);
    case Command::kRollback:
      return Rollback(run);
    case Command::kCheck:
      if (!LooksLikePolicy(options.policy)) return CheckFile(run);
      return PolicyCommand(run);
    default:
      return PolicyCommand(run);
  }
}

}  // namespace

// Whatever goes wrong ends in one line and exit 3, never an abort.
int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "velkhost: out of memory\n";
  } catch (const xercesc::OutOfMemoryException&) {
    std::cerr << "velkhost: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "velkhost: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "velkhost: an unexpected error\n";
  }
  return kExitUnreadable;
}
