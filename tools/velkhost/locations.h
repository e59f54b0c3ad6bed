// Where velkhost finds the plug-in and the policy schema.
//
// An installed velkhost looks only beside its own installation: the
// library directory and the data directory relative to the directory of
// its own executable.  A velkhost run from the build tree finds a marker
// file, velkhost.build-tree, next to itself, which names the built
// plug-in and the source tree's schema; the installed binary holds no
// path of the build tree.
#ifndef VELKCONF_TOOLS_VELKHOST_LOCATIONS_H_
#define VELKCONF_TOOLS_VELKHOST_LOCATIONS_H_

#include <string>
#include <vector>

struct Locations {
  std::vector<std::string> plugins;  // the first that exists is loaded
  std::string schema;
  std::string warning;  // a marker found but not trusted, and why
};

// From the executable's path (/proc/self/exe); nothing (no plug-in, no
// schema) when that path cannot be read: never a guess relative to the
// current directory.
Locations FindLocations();

// The same from a given executable path; the marker is trusted only when
// it has the executable's owner and no one else may write it.
Locations LocationsFor(const std::string& executable);

#endif  // VELKCONF_TOOLS_VELKHOST_LOCATIONS_H_
