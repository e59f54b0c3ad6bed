// The four service objects velkhost hands to the plug-in, filled from the
// command line.
#ifndef VELKCONF_TOOLS_VELKHOST_HOST_SERVICES_H_
#define VELKCONF_TOOLS_VELKHOST_HOST_SERVICES_H_

#include <cstdio>
#include <map>
#include <string>

#include "velkconf/host_interfaces.h"

// Prints "level: message" on stderr for every line at or below max_level;
// a message longer than kMaxLine bytes is cut there.
class StderrLogger : public ILogger {
 public:
  static constexpr std::size_t kMaxLine = 4096;
  explicit StderrLogger(int max_level) : max_level_(max_level) {}
  int LogMsg(const char* text, int level) const override;
  int vLog(int level, const char* format, va_list args) const override;
  int SetLogLevel(int level) const override;
  int LogDB(int value, const char* text) const override;

 private:
  mutable int max_level_;
};

// key=value pairs, the same for every namespace.
class MapPolicyInfo : public ISensorPolicyInfo {
 public:
  std::map<std::string, std::string> values;
  int GetNamespaceInfo(const char* ns, const char* key, char* buffer,
                       int size) const override;
};

class MapConfigParameters : public IConfigParameters {
 public:
  std::map<std::string, std::string> values;
  std::map<std::string, std::string> tuning;
  int GetValue(const std::string& name, std::string& value) const override;
  int GetTuningParameter(const std::string& name,
                         std::string& value) const override;
};

class FixedCapabilities : public ISensorCapabilities {
 public:
  int ports = 0;
  std::string model;
  std::map<std::string, std::string> avps;
  int GetNumOfPorts(int* count) const override;
  int GetModel(char* buffer, int size) const override;
  int GetAVPValue(const char* name, char* buffer, int size) const override;
};

#endif  // VELKCONF_TOOLS_VELKHOST_HOST_SERVICES_H_
