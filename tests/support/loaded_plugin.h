// The built plug-in, loaded with dlopen the way a host loads it (the path
// comes from VELK_PLUGIN, set by ctest), and a way to run a test body
// against a freshly loaded one: the plug-in's globals are process-wide and
// cannot be reset, so the body runs in a forked child.
#ifndef VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_
#define VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "plugin_loader.h"  // tools/velkhost
#include "support/files.h"

inline std::string PluginPath() {
  const char* path = std::getenv("VELK_PLUGIN");
  return path ? path : "libvelkconf.so";
}

// Loads the plug-in and resolves its entry points by name; fails the test
// if any is missing.
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

// What a host process does before its first update: the parser library
// initialised, the plug-in loaded and initialised with a logger alone.
inline Plugin StartHost(const ILogger* logger) {
  xercesc::XMLPlatformUtils::Initialize();
  Plugin plugin = LoadPlugin();
  plugin.Initialize(logger, nullptr, nullptr, nullptr);
  return plugin;
}

inline long ProcessText(const Plugin& plugin, const std::string& policy,
                        const char* ns = "ns") {
  return plugin.Process(ns,
                        reinterpret_cast<const unsigned char*>(policy.data()),
                        static_cast<unsigned int>(policy.size()));
}

// For tests that do not look at the restart: a service command that does
// nothing.
inline void QuietService() {
  WriteFile(std::string(std::getenv("VELK_SANDBOX_BIN")) + "/service",
            "#!/bin/sh\nexit 0\n");
}

inline void InFreshProcess(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0) << "fork failed";
  if (pid == 0) {  // fails by the child's own failures, not those it inherited
    const ::testing::TestResult& result =
        *::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int before = result.total_part_count();
    body();
    bool failed = false;
    for (int i = before; i < result.total_part_count(); ++i)
      failed |= result.GetTestPartResult(i).failed();
    std::fflush(nullptr);
    _exit(failed ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status))
      << "child died with signal "
      << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's failures are printed above";
}

#endif  // VELKCONF_TESTS_SUPPORT_LOADED_PLUGIN_H_
