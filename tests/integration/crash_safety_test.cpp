// A host killed at any moment of an update never leaves the sensor without
// a complete configuration: hundreds of SIGKILLs at random moments while a
// child loops over Process and Commit with two policies.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

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

int EtcEntries() {
  int n = 0;
  if (DIR* d = opendir("/etc")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

TEST(CrashSafety, KilledAtRandomMomentsTheLiveFileIsAlwaysComplete) {
  QuietService();
  // A template large enough that writing takes a while.
  std::string tmpl = "# site template\n";
  for (int i = 0; i < 2000; ++i) tmpl += "# padding line " + std::to_string(i) + "\n";
  WriteFile("/etc/rsyslog.conf.in", tmpl);
  const std::string original = "# the sensor's original configuration\n";
  WriteFile(kLive, original);

  const std::string policies[2] = {ManyServersPolicy(true, 40, "udp"),
                                   ManyServersPolicy(false, 25, "tcp")};
  const std::set<std::string> complete = {original, Generate(policies[0]),
                                          Generate(policies[1])};
  ASSERT_EQ(complete.size(), 3u);
  const int entries_before = EtcEntries();

  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> delay_us(0, 30000);
  const int kKills = std::getenv("VELK_CRASH_KILLS")
                         ? std::atoi(std::getenv("VELK_CRASH_KILLS"))
                         : 300;
  int live_states = 0, new_states = 0;
  for (int kill_no = 0; kill_no < kKills; ++kill_no) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) UpdateLoop(policies, false);
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself at kill " << kill_no;

    ASSERT_TRUE(Exists(kLive)) << "no live configuration after kill " << kill_no;
    const std::string live = ReadFile(kLive);
    ASSERT_EQ(complete.count(live), 1u) << "partial live configuration after kill "
                                        << kill_no << ", " << live.size() << " bytes";
    live_states += live != original;
    if (Exists(kNew)) {
      const std::string staged = ReadFile(kNew);
      ASSERT_EQ(complete.count(staged), 1u)
          << "partial " << kNew << " after kill " << kill_no;
      ++new_states;
    }
  }
  // The kills did land in the middle of updates.
  EXPECT_GT(live_states, 0);
  std::printf("%d kills: the live file was a generated one %d times, a staged "
              "file was present %d times\n",
              kKills, live_states, new_states);
  // Whatever a killed writer left behind, the next update clears it away.
  const pid_t pid = fork();
  if (pid == 0) UpdateLoop(policies, true);
  waitpid(pid, nullptr, 0);
  std::remove(kNew);
  EXPECT_LE(EtcEntries(), entries_before + 1)
      << "temporary files accumulate in /etc";
}

}  // namespace
