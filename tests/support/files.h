// Small file helpers for tests that look at what the plug-in wrote, and a
// policy text of many servers.
#ifndef VELKCONF_TESTS_SUPPORT_FILES_H_
#define VELKCONF_TESTS_SUPPORT_FILES_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "velkconf/velkconf.h"

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline void MakeDirs(const std::string& path) {
  for (std::string::size_type at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    ::mkdir(path.substr(0, at).c_str(), 0755);
  }
}

inline std::string SourceDir() {
  const char* dir = std::getenv("VELK_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

// A policy with local logging on or off and servers every one of which is
// enabled with every event flag on, over proto.
inline std::string ManyServersPolicy(bool local, int servers,
                                     const char* proto) {
  std::ostringstream s;
  s << "<policy xmlns=\"" VELKCONF_POLICY_NAMESPACE "\"><LocalLog enabled=\""
    << (local ? "true" : "false") << "\" maxSize=\"1MB\"/>";
  for (int i = 0; i < servers; ++i) {
    s << "<RemoteSyslogServer enabled=\"true\" healthEvent=\"true\" "
         "systemEvent=\"true\" securityEvent=\"true\" proto=\""
      << proto << "\" port=\"" << 600 + i << "\" server=\"host" << i
      << ".example\"/>";
  }
  s << "</policy>";
  return s.str();
}

#endif  // VELKCONF_TESTS_SUPPORT_FILES_H_
