#include "locations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sstream>

#include "commands.h"

namespace {

const char kMarker[] = "velkhost.build-tree";

// plugin=PATH and schema=PATH lines of the build tree's marker.  A marker
// that is there but not trusted leaves a warning.
bool ReadMarker(const std::string& marker, const struct stat& executable,
                Locations& found) {
  const int fd = open(marker.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno != ENOENT) found.warning = marker + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  std::string text;
  const bool trusted = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                       info.st_uid == executable.st_uid &&
                       (info.st_mode & 022) == 0;
  char buffer[4096];
  ssize_t n;
  while (trusted && (n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (!trusted) {
    found.warning = marker +
                    ": ignored: it must be a file of velkhost's owner that no "
                    "one else may write";
    return false;
  }
  std::istringstream in(text);
  std::string line;
  Locations marked;
  while (std::getline(in, line)) {
    if (line.compare(0, 7, "plugin=") == 0) {
      marked.plugins.push_back(line.substr(7));
    } else if (line.compare(0, 7, "schema=") == 0) {
      marked.schema = line.substr(7);
    }
  }
  if (marked.plugins.empty() || marked.schema.empty()) {
    found.warning = marker + ": ignored: it names no plugin= and schema=";
    return false;
  }
  found = marked;
  return true;
}

// bindir joined with a relative path, its leading ".." taken off bindir.
std::string Beside(std::string bindir, std::string relative) {
  while (relative.compare(0, 3, "../") == 0 && bindir.size() > 1) {
    bindir = DirectoryOf(bindir);
    relative.erase(0, 3);
  }
  return (bindir == "/" ? "" : bindir) + "/" + relative;
}

}  // namespace

Locations LocationsFor(const std::string& executable) {
  const std::string bindir = DirectoryOf(executable);
  Locations found;
  struct stat info;
  if (stat(executable.c_str(), &info) == 0 &&
      ReadMarker(bindir + "/" + kMarker, info, found)) {
    return found;
  }
  const std::string libdir = Beside(bindir, VELKHOST_LIBDIR_FROM_BINDIR);
  found.plugins = {libdir + "/libvelkconf.so.1", libdir + "/libvelkconf.so"};
  found.schema = Beside(bindir, VELKHOST_SCHEMA_FROM_BINDIR);
  return found;
}

Locations FindLocations() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0 || path[0] != '/') return Locations();
  return LocationsFor(std::string(path, static_cast<std::size_t>(n)));
}
