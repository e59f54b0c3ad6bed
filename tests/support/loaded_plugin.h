// The built plug-in, loaded with dlopen the way a host loads it.  The path
// comes from VELK_PLUGIN (set by ctest).
#ifndef VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_
#define VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "plugin_loader.h"  // tools/velkhost

inline std::string PluginPath() {
  const char* path = std::getenv("VELK_PLUGIN");
  return path ? path : "libvelkconf.so";
}

// Loads the plug-in and resolves its entry points; fails the test if any
// is missing.
inline Plugin LoadPlugin() {
  Plugin plugin{};
  std::string error;
  EXPECT_TRUE(plugin.Load(PluginPath(), error)) << error;
  return plugin;
}

// Any exported symbol, by its (possibly mangled) name.
template <typename T>
T Symbol(const Plugin& plugin, const char* name) {
  void* address = dlsym(plugin.handle, name);
  EXPECT_NE(address, nullptr) << "not exported: " << name;
  return reinterpret_cast<T>(address);
}

#endif  // VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_
