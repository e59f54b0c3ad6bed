// The four service objects a host hands to Initialize().
//
// Each is an abstract class that the host implements.  The plug-in keeps
// pointers to them as const objects and calls them only through these
// virtual operations.  The layout of the virtual table is part of the
// contract: the virtual destructor takes the first two slots, the operations
// follow in the order declared here.  Keep it that way.
#ifndef VELKCONF_HOST_INTERFACES_H_
#define VELKCONF_HOST_INTERFACES_H_

#include <cstdarg>
#include <string>

// The host's logger.  Levels are the host's; the plug-in uses 12 for trace
// lines and 1 for failures.  Results are ignored by the plug-in.
class ILogger {
 public:
  virtual ~ILogger() {}
  virtual int LogMsg(const char* text, int level) const = 0;
  virtual int vLog(int level, const char* format, va_list args) const = 0;
  virtual int SetLogLevel(int level) const = 0;
  virtual int LogDB(int value, const char* text) const = 0;
};

// Per-namespace policy information ("fileName", "relativePath",
// "schemaName").  Returns 0 and a NUL-terminated text in buffer, or non-zero
// (the buffer is then not read).  size is 512.
class ISensorPolicyInfo {
 public:
  virtual ~ISensorPolicyInfo() {}
  virtual int GetNamespaceInfo(const char* ns, const char* key, char* buffer,
                               int size) const = 0;
};

// Configuration values and tuning parameters.  value is empty on entry.
// Codes: 0 or negative, success with value; 1 or 2, failure; 9, success
// without a value (value not read); any other positive code, success with
// value.
class IConfigParameters {
 public:
  virtual ~IConfigParameters() {}
  virtual int GetValue(const std::string& name, std::string& value) const = 0;
  virtual int GetTuningParameter(const std::string& name,
                                 std::string& value) const = 0;
};

// Sensor capabilities.  GetNumOfPorts writes the count through its argument
// (preset to 0; its result is ignored).  GetModel (size 80) and GetAVPValue
// (size 512) return 0 when buffer holds a NUL-terminated text; the buffer's
// first byte is NUL on entry.
class ISensorCapabilities {
 public:
  virtual ~ISensorCapabilities() {}
  virtual int GetNumOfPorts(int* count) const = 0;
  virtual int GetModel(char* buffer, int size) const = 0;
  virtual int GetAVPValue(const char* name, char* buffer, int size) const = 0;
};

#endif  // VELKCONF_HOST_INTERFACES_H_
