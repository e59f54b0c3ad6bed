// A host killed at any moment of an update never leaves the sensor without
// a complete configuration: hundreds of SIGKILLs at random moments while a
// child loops over Process and Commit with two policies.  The moments are
// spread over the time a child takes, on this machine and at its present
// load, to reach its first commit, measured again and again as the test
// goes: about half the kills land before it, half after.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "support/files.h"
#include "support/loaded_plugin.h"
#include "velkconf/velkconf.h"

namespace {

const char kLive[] = "/etc/rsyslog.conf";
const char kNew[] = "/etc/rsyslog.conf.new";

// The child: updates forever, alternating the policies (or just once).
[[noreturn]] void UpdateLoop(const std::string policies[2], bool once) {
  const Plugin plugin = StartHost(nullptr);
  for (unsigned n = 0;; ++n) {
    if (ProcessText(plugin, policies[n % 2]) != 0) _exit(3);
    if (once) _exit(0);
    plugin.Commit();
  }
}

std::string Generate(const std::string& policy) {
  const std::string pair[2] = {policy, policy};
  const pid_t pid = fork();
  if (pid == 0) UpdateLoop(pair, true);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(Exists(kNew));
  const std::string out = ReadFile(kNew);
  std::remove(kNew);
  return out;
}

using Clock = std::chrono::steady_clock;

// How long a freshly forked child takes to rename its first new file over
// the live one, seen through inotify on /etc.
Clock::duration TimeToFirstCommit(const std::string policies[2]) {
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  EXPECT_GE(watch, 0) << std::strerror(errno);
  EXPECT_GE(inotify_add_watch(watch, "/etc", IN_MOVED_TO), 0)
      << std::strerror(errno);
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) UpdateLoop(policies, false);
  bool committed = false;
  // Generous: a child that has not committed by then is stuck.
  const Clock::time_point deadline = start + std::chrono::minutes(5);
  alignas(inotify_event) char events[4096];
  while (!committed && Clock::now() < deadline) {
    pollfd ready = {watch, POLLIN, 0};
    if (poll(&ready, 1, 1000) <= 0) continue;
    const ssize_t got = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      committed |=
          event->len > 0 && std::strcmp(event->name, "rsyslog.conf") == 0;
      at += sizeof(inotify_event) + event->len;
    }
  }
  const Clock::duration took = Clock::now() - start;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(watch);
  EXPECT_TRUE(committed) << "no commit within five minutes";
  return took;
}

TEST(CrashSafety, KilledAtRandomMomentsTheLiveFileIsAlwaysComplete) {
  QuietService();
  // A template large enough that writing takes a while.
  std::string tmpl = "# site template\n";
  for (int i = 0; i < 2000; ++i)
    tmpl += "# padding line " + std::to_string(i) + "\n";
  WriteFile("/etc/rsyslog.conf.in", tmpl);
  const std::string original = "# the sensor's original configuration\n";
  WriteFile(kLive, original);

  const std::string policies[2] = {ManyServersPolicy(true, 40, "udp"),
                                   ManyServersPolicy(false, 25, "tcp")};
  const std::set<std::string> complete = {original, Generate(policies[0]),
                                          Generate(policies[1])};
  ASSERT_EQ(complete.size(), 3u);

  std::mt19937 random(20261206);
  const int kKills = std::getenv("VELK_CRASH_KILLS")
                         ? std::atoi(std::getenv("VELK_CRASH_KILLS"))
                         : 300;
  // The pace is measured again every so many kills: the load changes.
  const int kKillsPerMeasurement = 20;
  Clock::duration pace{};
  int live_states = 0, new_states = 0;
  for (int kill_no = 0; kill_no < kKills; ++kill_no) {
    // Each child starts from the original configuration, so that the live
    // file shows whether it was killed before or after its first commit.
    WriteFile(kLive, original);
    if (kill_no % kKillsPerMeasurement == 0) {
      pace = TimeToFirstCommit(policies);
      if (HasFailure()) return;
      WriteFile(kLive, original);
    }
    std::uniform_int_distribution<Clock::rep> delay(0, 2 * pace.count());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) UpdateLoop(policies, false);
    std::this_thread::sleep_for(Clock::duration(delay(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status))
        << "the child stopped by itself at kill " << kill_no;

    ASSERT_TRUE(Exists(kLive))
        << "no live configuration after kill " << kill_no;
    const std::string live = ReadFile(kLive);
    ASSERT_EQ(complete.count(live), 1u)
        << "partial live configuration after kill " << kill_no << ", "
        << live.size() << " bytes";
    live_states += live != original;
    if (Exists(kNew)) {
      const std::string staged = ReadFile(kNew);
      ASSERT_EQ(complete.count(staged), 1u)
          << "partial " << kNew << " after kill " << kill_no;
      ++new_states;
    }
  }
  // The kills did land both before and after a first commit.
  EXPECT_GT(live_states, 0);
  EXPECT_LT(live_states, kKills);
  std::printf(
      "%d kills: the live file was a generated one %d times, a staged "
      "file was present %d times; a child's first commit took %.1f ms "
      "at the last measurement\n",
      kKills, live_states, new_states,
      std::chrono::duration<double, std::milli>(pace).count());
}

}  // namespace
