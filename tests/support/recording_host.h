// Recording fakes of the host's four service objects, for tests that drive
// the plug-in as a host does.
#ifndef VELKCONF_TESTS_SUPPORT_RECORDING_HOST_H_
#define VELKCONF_TESTS_SUPPORT_RECORDING_HOST_H_

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "velkconf/host_interfaces.h"

// Keeps every call, formatted the way a host would print it.
class RecordingLogger : public ILogger {
 public:
  struct Line {
    int level;
    std::string text;
    bool operator==(const Line& o) const {
      return level == o.level && text == o.text;
    }
  };
  mutable std::vector<Line> lines;           // vLog, formatted
  mutable std::vector<std::string> formats;  // vLog formats as received
  mutable std::vector<std::string> calls;    // the other operations

  int LogMsg(const char* text, int level) const override {
    calls.push_back("LogMsg(" + std::string(text) + "," +
                    std::to_string(level) + ")");
    return 0;
  }
  int vLog(int level, const char* format, va_list args) const override {
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    lines.push_back({level, buffer});
    formats.push_back(format);
    return 0;
  }
  int SetLogLevel(int level) const override {
    calls.push_back("SetLogLevel(" + std::to_string(level) + ")");
    return 0;
  }
  int LogDB(int value, const char* text) const override {
    calls.push_back("LogDB(" + std::to_string(value) + "," + std::string(text) +
                    ")");
    return 0;
  }
  // The texts logged at level, or at every level.
  std::vector<std::string> Texts(int level = -1) const {
    std::vector<std::string> out;
    for (const Line& l : lines) {
      if (level < 0 || l.level == level) out.push_back(l.text);
    }
    return out;
  }
};

// The fakes answer from tables: name -> (code, raw text).
using Answers = std::map<std::string, std::pair<int, std::string>>;

// Copies raw bytes into a host buffer, NUL-terminated when there is room.
inline void CopyOut(const std::string& raw, char* buffer, int size) {
  std::memcpy(buffer, raw.data(),
              std::min(raw.size(), static_cast<std::size_t>(size)));
  if (raw.size() < static_cast<std::size_t>(size)) buffer[raw.size()] = '\0';
}

class FakePolicyInfo : public ISensorPolicyInfo {
 public:
  Answers answers;
  mutable std::vector<std::string> asked;  // "ns|key"

  void Set(const std::string& key, const std::string& value, int rc = 0) {
    answers[key] = {rc, value};
  }
  int GetNamespaceInfo(const char* ns, const char* key, char* buffer,
                       int size) const override {
    asked.push_back(std::string(ns) + "|" + key);
    auto it = answers.find(key);
    if (it == answers.end()) return 1;
    CopyOut(it->second.second, buffer, size);
    return it->second.first;
  }
};

class FakeConfigParameters : public IConfigParameters {
 public:
  Answers values, tuning;
  mutable std::vector<std::string> asked;  // "GetValue(name,'value on entry')"

  int GetValue(const std::string& name, std::string& value) const override {
    return Answer("GetValue", values, name, value);
  }
  int GetTuningParameter(const std::string& name,
                         std::string& value) const override {
    return Answer("GetTuningParameter", tuning, name, value);
  }

 private:
  int Answer(const char* op, const Answers& table, const std::string& name,
             std::string& value) const {
    asked.push_back(std::string(op) + "(" + name + ",'" + value + "')");
    auto it = table.find(name);
    if (it == table.end()) return 1;
    value = it->second.second;
    return it->second.first;
  }
};

class FakeCapabilities : public ISensorCapabilities {
 public:
  bool write_ports = true;
  int ports = 0;
  int model_rc = 0;
  std::string model;  // raw bytes, written even when model_rc != 0
  Answers avps;
  mutable std::vector<std::string> first_bytes;  // buffer[0] on entry

  int GetNumOfPorts(int* count) const override {
    if (write_ports) *count = ports;
    return 0;
  }
  int GetModel(char* buffer, int size) const override {
    first_bytes.push_back(buffer[0] == '\0' ? "NUL" : "dirty");
    CopyOut(model, buffer, size);
    return model_rc;
  }
  int GetAVPValue(const char* name, char* buffer, int size) const override {
    first_bytes.push_back(buffer[0] == '\0' ? "NUL" : "dirty");
    auto it = avps.find(name);
    if (it == avps.end()) return 1;
    CopyOut(it->second.second, buffer, size);
    return it->second.first;
  }
};

#endif  // VELKCONF_TESTS_SUPPORT_RECORDING_HOST_H_
