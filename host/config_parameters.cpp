// ConfigParameters: the host's configuration values and tuning parameters.
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "velkconf/host_glue.h"

const IConfigParameters* ConfigParameters::m_pConfigParmIf = nullptr;

namespace {

typedef int (IConfigParameters::*Lookup)(const std::string&,
                                         std::string&) const;

// The shared decision on the host's code.
bool LookupText(Lookup lookup, const char* name, std::string& value) {
  const IConfigParameters* const source = ConfigParameters::m_pConfigParmIf;
  if (source == nullptr) return false;  // no interface: a failed lookup
  std::string text;
  const int rc = (source->*lookup)(std::string(name), text);
  if (rc == 1 || rc == 2) return false;
  if (rc != 9) value = text;
  return true;
}

bool LookupInt(Lookup lookup, const char* name, int& value) {
  std::string text;
  if (!LookupText(lookup, name, text)) {
    value = 0;
    return false;
  }
  return ConfigParameters::ParseInt(text, value);
}

bool LookupBool(Lookup lookup, const char* name, bool& value) {
  std::string text;
  if (!LookupText(lookup, name, text)) {
    value = false;
    return false;
  }
  return ConfigParameters::ParseBool(text, value);
}

}  // namespace

void ConfigParameters::SetConfigInterface(
    const IConfigParameters* configParameters) {
  m_pConfigParmIf = configParameters;
}

bool ConfigParameters::GetValue(const char* name, std::string& value) {
  return LookupText(&IConfigParameters::GetValue, name, value);
}

bool ConfigParameters::GetTuningParameter(const char* name,
                                          std::string& value) {
  return LookupText(&IConfigParameters::GetTuningParameter, name, value);
}

bool ConfigParameters::GetValue(const char* name, int& value) {
  return LookupInt(&IConfigParameters::GetValue, name, value);
}

bool ConfigParameters::GetValue(const char* name, bool& value) {
  return LookupBool(&IConfigParameters::GetValue, name, value);
}

bool ConfigParameters::GetTuningParameter(const char* name, int& value) {
  return LookupInt(&IConfigParameters::GetTuningParameter, name, value);
}

bool ConfigParameters::GetTuningParameter(const char* name, bool& value) {
  return LookupBool(&IConfigParameters::GetTuningParameter, name, value);
}

bool ConfigParameters::ParseInt(const std::string& text, int& value) {
  long number = std::strtol(text.c_str(), nullptr, 10);
  if (number > INT_MAX) number = INT_MAX;
  if (number < INT_MIN) number = INT_MIN;
  if (number != 0) {
    value = static_cast<int>(number);
    return true;
  }
  if (!text.empty() && text[0] == '0') {
    value = 0;
    return true;
  }
  return false;
}

bool ConfigParameters::ParseBool(const std::string& text, bool& value) {
  value = ::strcasecmp(text.c_str(), "TRUE") == 0;
  return true;
}
