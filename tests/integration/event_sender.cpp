// event_sender SOCKET FIRST COUNT RATE WATCH SECONDS
//
// A sensor program logging at a steady rate: sends events FIRST to
// FIRST+COUNT-1, RATE a second, to the syslog daemon's datagram socket
// SOCKET, as "<PRI>velkfault: e<ID> <padding>" on local5, local6 and local7
// in turn (ID modulo 3).  A send the daemon's socket refuses is counted, not
// retried: the daemon did not accept that event.
//
// WATCH is the file the daemon writes the events to locally: the sender
// reads it as it grows and reports how far behind the file fell (the
// longest time from a send to the event's line, or to the end of the wait
// for an event that never showed), then waits up to SECONDS for every
// accepted event to show.
//
// Prints one line: "accepted=N refused=N lag_ms=N unseen=N".  Exits 0 when
// no accepted event is unseen.
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

long long NowMs() {
  timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

// Follows a file as it grows, line by line.
class Follower {
 public:
  explicit Follower(const char* path) : path_(path) {}
  // Calls seen(id) for each complete new line holding " velkfault: e<ID> ".
  template <typename Seen>
  void Poll(Seen seen) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    in.seekg(offset_);
    std::string chunk((std::istreambuf_iterator<char>(in)),
                      std::istreambuf_iterator<char>());
    std::size_t start = 0;
    for (std::size_t end; (end = chunk.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = chunk.substr(start, end - start);
      const std::size_t at = line.find(" velkfault: e");
      if (at != std::string::npos) {
        seen(std::strtol(line.c_str() + at + 13, nullptr, 10));
      }
    }
    offset_ += static_cast<long long>(start);
  }

 private:
  const char* path_;
  long long offset_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: event_sender SOCKET FIRST COUNT RATE WATCH SECONDS\n");
    return 2;
  }
  const long first = std::atol(argv[2]);
  const long count = std::atol(argv[3]);
  const long rate = std::atol(argv[4]);
  const long settleMs = std::atol(argv[6]) * 1000;

  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  timeval timeout{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);

  // Per event: when it was sent (-1 refused), whether its line was seen.
  std::vector<long long> sentAt(static_cast<std::size_t>(count), -1);
  std::vector<bool> seen(static_cast<std::size_t>(count), false);
  long long lag = 0;
  Follower follower(argv[5]);
  auto poll = [&] {
    const long long now = NowMs();
    follower.Poll([&](long id) {
      const long i = id - first;
      if (i < 0 || i >= count || seen[i] || sentAt[i] < 0) return;
      seen[i] = true;
      if (now - sentAt[i] > lag) lag = now - sentAt[i];
    });
  };

  const std::string padding(60, 'x');
  long accepted = 0;
  timespec next;
  ::clock_gettime(CLOCK_MONOTONIC, &next);
  for (long i = 0; i < count; ++i) {
    const long id = first + i;
    const int facility = 21 + static_cast<int>(id % 3);  // local5..local7
    const std::string message = "<" + std::to_string(facility * 8 + 6) +
                                ">velkfault: e" + std::to_string(id) + " " +
                                padding;
    if (::sendto(fd, message.data(), message.size(), 0,
                 reinterpret_cast<sockaddr*>(&address),
                 sizeof address) == static_cast<ssize_t>(message.size())) {
      sentAt[i] = NowMs();
      ++accepted;
    }
    poll();
    next.tv_nsec += 1000000000L / rate;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }

  long unseen = accepted;
  const long long deadline = NowMs() + settleMs;
  for (;;) {
    poll();
    unseen = 0;
    for (long i = 0; i < count; ++i) unseen += sentAt[i] >= 0 && !seen[i];
    if (unseen == 0 || NowMs() > deadline) break;
    ::usleep(5000);
  }
  // An event still missing is at least this late.
  const long long now = NowMs();
  for (long i = 0; i < count; ++i) {
    if (sentAt[i] >= 0 && !seen[i] && now - sentAt[i] > lag) {
      lag = now - sentAt[i];
    }
  }
  std::printf("accepted=%ld refused=%ld lag_ms=%lld unseen=%ld\n", accepted,
              count - accepted, lag, unseen);
  return unseen != 0 ? 1 : 0;
}
