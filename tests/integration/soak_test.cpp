// Many whole updates in one host process: the plug-in lives as long as its
// host, so memory must not grow with the number of updates.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "support/files.h"
#include "support/loaded_plugin.h"
#include "velkconf/velkconf.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident set
// says nothing here; LeakSanitizer checks at exit instead.
const bool kMeasureGrowth = false;
const int kDefaultCycles = 1000;
#else
const bool kMeasureGrowth = true;
const int kDefaultCycles = 10000;
#endif

// Resident set in KiB, from /proc.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// A logger that drops everything, as a quiet host's would.
class QuietLogger : public ILogger {
 public:
  int LogMsg(const char*, int) const override { return 0; }
  int vLog(int, const char*, va_list) const override { return 0; }
  int SetLogLevel(int) const override { return 0; }
  int LogDB(int, const char*) const override { return 0; }
};

TEST(Soak, TenThousandUpdatesDoNotGrowTheHost) {
  const int kCycles = std::getenv("VELK_SOAK_CYCLES")
                          ? std::atoi(std::getenv("VELK_SOAK_CYCLES"))
                          : kDefaultCycles;
  QuietService();  // the restart is not what is measured here
  WriteFile("/etc/rsyslog.conf.in", "# template\n");

  QuietLogger logger;  // remembers nothing, so that only the plug-in can grow
  const Plugin plugin = StartHost(&logger);

  const std::string policies[2] = {ManyServersPolicy(true, 3, "udp"),
                                   ManyServersPolicy(false, 8, "tcp")};
  long after_warmup = 0;
  int failures = 0;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    const std::string& p = policies[cycle % 2];
    plugin.PreProcess();
    failures += ProcessText(plugin, p) != 0;
    long post = 0;
    plugin.PostProcess(0, &post);
    plugin.Validate();
    failures += plugin.Commit() != 0;
    if (cycle % 97 == 0) {  // the failure paths too
      ProcessText(plugin, "<x");
      plugin.Commit();  // nothing new to commit: fails
      plugin.ReleaseErrorMessage(nullptr);
      char* message = nullptr;
      plugin.GetErrorMessage(&message);
      plugin.ReleaseErrorMessage(message);
    }
    if (cycle == kCycles / 10) after_warmup = ResidentKiB();
  }
  const long at_end = ResidentKiB();
  plugin.Uninitialize();
  xercesc::XMLPlatformUtils::Terminate();

  std::printf(
      "resident set after %d updates: %ld KiB; after %d: %ld KiB; growth %ld "
      "KiB\n",
      kCycles / 10, after_warmup, kCycles, at_end, at_end - after_warmup);
  RecordProperty("rss_kib_after_warmup", static_cast<int>(after_warmup));
  RecordProperty("rss_kib_at_end", static_cast<int>(at_end));
  EXPECT_EQ(failures, 0);
  if (kMeasureGrowth) {
    EXPECT_LT(at_end - after_warmup, 1024)
        << "the host grew by more than 1 MiB";
  }
}

}  // namespace
