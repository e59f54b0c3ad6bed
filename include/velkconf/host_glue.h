// Exported helpers that reach the host's service objects.  They are C++
// functions in the global namespace; hosts and the plug-in's own code link
// against them by their (mangled) C++ names.
//
// Every function is safe to call before Initialize() or after an
// Initialize() that passed null: logging then does nothing and the queries
// give a neutral answer (0, an empty text, 1 or false).
#ifndef VELKCONF_HOST_GLUE_H_
#define VELKCONF_HOST_GLUE_H_

#include <cstdarg>
#include <string>

#include "velkconf/host_interfaces.h"

#if defined(__GNUC__)
#define VELK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VELK_PRINTF(fmt, args)
#endif

void SetLoggerInterface(const ILogger* logger);
void SetSensorPolicyInfo(const ISensorPolicyInfo* info);
void SetCapabilitiesInterface(const ISensorCapabilities* capabilities);

// format and its arguments go to ILogger::vLog unformatted.
void Log(int level, const char* format, ...) VELK_PRINTF(2, 3);
void vLog(int level, const char* format, va_list args) VELK_PRINTF(2, 0);
void LogMsg(const char* text, int level);
void SetLogLevel(int level);
void LogDB(int value, const char* text);

// Port count from the host, 0 without a capabilities interface.
int SCGetNumOfPorts();
// Sensor model text, empty when unavailable.
std::string SCGetModel();
// One item of a namespace's information.  0 with value set, or the host's
// non-zero code (1 without an interface) with value unchanged.
int GetNamespaceInfo(const std::string& ns, const std::string& key,
                     std::string& value);
// Value of a named AVP; false (value unchanged) when unavailable.
bool SCGetAVPValue(const std::string& name, std::string& value);

// The host's configuration values and tuning parameters.
class ConfigParameters {
 public:
  static const IConfigParameters* m_pConfigParmIf;

  static void SetConfigInterface(const IConfigParameters* configParameters);

  static bool GetValue(const char* name, std::string& value);
  static bool GetValue(const char* name, int& value);
  static bool GetValue(const char* name, bool& value);
  static bool GetTuningParameter(const char* name, std::string& value);
  static bool GetTuningParameter(const char* name, int& value);
  static bool GetTuningParameter(const char* name, bool& value);

  // Base-10 strtol rules; false (value unchanged) when the text holds no
  // number.  Out-of-range values saturate at the 32-bit limits.
  static bool ParseInt(const std::string& text, int& value);
  // value = text equals "true" in any case.  Always returns true.
  static bool ParseBool(const std::string& text, bool& value);
};

#endif  // VELKCONF_HOST_GLUE_H_
