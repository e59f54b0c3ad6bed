// Linked into every program that writes the system's own configuration
// files (/etc/rsyslog.conf*, /etc/tesk, /tmp/ppd) or runs `service`: it
// refuses to start anywhere but inside tools/sandbox, so that running such
// a binary by hand cannot touch this machine's configuration.
#include <cstdio>
#include <cstdlib>

namespace {

const bool kInSandbox = [] {
  if (std::getenv("VELK_SANDBOX") == nullptr) {
    std::fprintf(
        stderr,
        "refusing to run: this program writes /etc; run it through ctest or "
        "tools/sandbox\n");
    std::_Exit(2);
  }
  return true;
}();

}  // namespace
