// Update latency and scale: Process and Commit for policies of 1 to 100,000
// servers against the I/O floor of writing the same bytes, measured side by
// side in one run.  Runs inside tools/sandbox (it writes /etc); with
// VELK_SANDBOX_DISK the files reach a real disk.
//
// usage: update_latency [--quick]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "velkconf/velkconf.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Policy(int servers) {
  std::string s =
      "<?xml version=\"1.0\"?>\n<policy xmlns=\"" VELKCONF_POLICY_NAMESPACE
      "\">\n  <LocalLog enabled=\"true\" maxSize=\"100MB\"/>\n";
  char line[512];
  for (int i = 0; i < servers; ++i) {
    std::snprintf(line, sizeof line,
                  "  <RemoteSyslogServer enabled=\"true\" healthEvent=\"true\" "
                  "systemEvent=\"true\" securityEvent=\"true\" proto=\"%s\" "
                  "port=\"%d\" server=\"collector-%d.siem.example.net\"/>\n",
                  i % 2 ? "tcp" : "udp", 514 + i % 1000, i);
    s += line;
  }
  return s + "</policy>\n";
}

// A realistic site template of about 2 KiB.
std::string Template() {
  std::string t =
      "# /etc/rsyslog.conf.in: site template of the sensor\n"
      "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
      "input(type=\"imuxsock\" Socket=\"/tmp/velk-bench/log.sock\")\n"
      "module(load=\"imklog\" permitnonkernelfacility=\"on\")\n"
      "global(workDirectory=\"/tmp/velk-bench\")\n"
      "$ActionFileDefaultTemplate RSYSLOG_TraditionalFileFormat\n"
      "$RepeatedMsgReduction on\n"
      "$FileOwner root\n$FileGroup adm\n$FileCreateMode 0640\n$DirCreateMode "
      "0755\n"
      "$Umask 0022\n";
  const char* rules[] = {
      "auth,authpriv.*                 /var/log/auth.log",
      "*.*;auth,authpriv.none          -/var/log/syslog",
      "daemon.*                        -/var/log/daemon.log",
      "kern.*                          -/var/log/kern.log",
      "lpr.*                           -/var/log/lpr.log",
      "mail.*                          -/var/log/mail.log",
      "user.*                          -/var/log/user.log",
      "mail.info                       -/var/log/mail.info",
      "mail.warn                       -/var/log/mail.warn",
      "mail.err                        /var/log/mail.err",
      "*.=debug;auth,authpriv.none;mail.none -/var/log/debug",
      "*.=info;*.=notice;*.=warn;auth,authpriv.none;cron,daemon.none;mail.none "
      "-/var/log/messages",
      "*.emerg                         :omusrmsg:*"};
  while (t.size() < 2048) {
    for (const char* r : rules) t += std::string(r) + "\n";
    t += "# ---\n";
  }
  return t;
}

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::size_t FileSize(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// What any writer of the same bytes must pay: one write and one fsync of a
// new file, its rename over the live file and an fsync of the directory.
double Floor(const std::string& bytes) {
  const auto start = Clock::now();
  const int fd =
      open("/etc/.velk-floor", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 ||
      write(fd, bytes.data(), bytes.size()) !=
          static_cast<ssize_t>(bytes.size()) ||
      fsync(fd) != 0 || close(fd) != 0 ||
      rename("/etc/.velk-floor", "/etc/rsyslog.conf") != 0) {
    std::perror("floor");
    std::exit(1);
  }
  const int dir = open("/etc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fsync(dir);
  close(dir);
  return Seconds(start, Clock::now());
}

// The median cost of the restart command itself with a no-op service,
// which the Commit figures leave out.
double RestartCost() {
  std::vector<double> runs;
  for (int i = 0; i < 31; ++i) {
    const auto start = Clock::now();
    if (std::system("service syslog restart >/dev/null 2>&1") == -1)
      std::exit(1);
    runs.push_back(Seconds(start, Clock::now()));
  }
  return Median(runs);
}

struct Row {
  int servers;
  std::size_t policy_bytes;
  std::size_t output_bytes;
  double process, commit, floor;
};

Row Measure(int servers, int repeats, double restart) {
  const std::string policy = Policy(servers);
  Row row{servers, policy.size(), 0, 0, 0, 0};
  std::vector<double> process, commit, floor;
  for (int r = 0; r < repeats; ++r) {
    PreProcess();
    auto t0 = Clock::now();
    if (Process("ns", reinterpret_cast<const unsigned char*>(policy.data()),
                static_cast<unsigned int>(policy.size())) != 0) {
      std::fprintf(stderr, "Process failed for %d servers\n", servers);
      std::exit(1);
    }
    auto t1 = Clock::now();
    const std::string generated = ReadFile("/etc/rsyslog.conf.new");
    row.output_bytes = generated.size();
    auto t2 = Clock::now();
    if (Commit() != 0) {
      std::fprintf(stderr, "Commit failed for %d servers\n", servers);
      std::exit(1);
    }
    auto t3 = Clock::now();
    process.push_back(Seconds(t0, t1));
    commit.push_back(std::max(0.0, Seconds(t2, t3) - restart));
    floor.push_back(Floor(generated));
  }
  row.process = Median(process);
  row.commit = Median(commit);
  row.floor = Median(floor);
  return row;
}

// Peak resident memory of one Process of the given policy, in a child of
// its own so that nothing else counts.
void PrintPeak(int servers) {
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string policy = Policy(servers);
    struct rusage before;
    getrusage(RUSAGE_SELF, &before);
    Process("ns", reinterpret_cast<const unsigned char*>(policy.data()),
            static_cast<unsigned int>(policy.size()));
    struct rusage after;
    getrusage(RUSAGE_SELF, &after);
    std::printf(
        "  peak resident set: %ld KiB before Process (policy text held), %ld "
        "KiB after\n",
        before.ru_maxrss, after.ru_maxrss);
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  // A no-op restart: only the plug-in's own work is measured.
  WriteFile((std::string(std::getenv("VELK_SANDBOX_BIN")) + "/service").c_str(),
            "#!/bin/sh\nexit 0\n");
  WriteFile("/etc/rsyslog.conf.in", Template());
  xercesc::XMLPlatformUtils::Initialize();
  Initialize(nullptr, nullptr, nullptr, nullptr);

  std::printf("update latency, /etc on %s; template %zu bytes; medians\n",
              std::getenv("VELK_SANDBOX_ETC_LAYER") ? "a disk" : "a tmpfs",
              FileSize("/etc/rsyslog.conf.in"));
  const double restart = RestartCost();
  std::printf(
      "Commit is shown less %.3fms, the median cost of the no-op restart "
      "command\n\n",
      restart * 1e3);
  std::printf("%8s %11s %11s %11s %11s %11s %9s %12s\n", "servers", "policy B",
              "output B", "Process", "Commit", "floor", "P+C/floor",
              "per server");
  const int sizes[] = {1, 10, 1000, 10000, 100000};
  for (int servers : sizes) {
    if (quick && servers > 10000) break;
    const int repeats = servers >= 100000 ? 3 : servers >= 10000 ? 5 : 21;
    const Row r = Measure(servers, repeats, restart);
    std::printf("%8d %11zu %11zu %9.3fms %9.3fms %9.3fms %9.2f %10.3fus\n",
                r.servers, r.policy_bytes, r.output_bytes, r.process * 1e3,
                r.commit * 1e3, r.floor * 1e3, (r.process + r.commit) / r.floor,
                (r.process + r.commit) / r.servers * 1e6);
    std::fflush(stdout);
  }
  std::printf("\nmemory for %d servers:\n", quick ? 10000 : 100000);
  std::fflush(stdout);
  PrintPeak(quick ? 10000 : 100000);
  xercesc::XMLPlatformUtils::Terminate();
  return 0;
}
