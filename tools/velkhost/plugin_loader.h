// Loading libvelkconf.so the way a host does: dlopen, then each entry point
// by its plain name.
#ifndef VELKCONF_TOOLS_VELKHOST_PLUGIN_LOADER_H_
#define VELKCONF_TOOLS_VELKHOST_PLUGIN_LOADER_H_

#include <string>

#include "velkconf/host_interfaces.h"

struct Plugin {
  long (*Initialize)(const ILogger*, const ISensorPolicyInfo*,
                     const IConfigParameters*, const ISensorCapabilities*);
  long (*PreProcess)();
  long (*Process)(const char*, const unsigned char*, unsigned int);
  long (*PostProcess)(long, long*);
  long (*Validate)();
  long (*Commit)();
  void (*Uninitialize)();
  long (*GetErrorMessage)(char**);
  void (*ReleaseErrorMessage)(char*);
  const char* const* name;
  const char* const* version;
  const char* const* special;
  void* handle;

  // Loads path; on failure returns false with the reason in error.
  bool Load(const std::string& path, std::string& error);
  void Unload();
  // The last-error message, fetched and handed back.
  std::string LastError() const;
};

#endif  // VELKCONF_TOOLS_VELKHOST_PLUGIN_LOADER_H_
