#include "host_services.h"

#include <cstring>

namespace {

// Copies text into a host-side buffer of size bytes; 0 when it fits.
int Fill(const std::string& text, char* buffer, int size) {
  if (size <= 0 || text.size() >= static_cast<std::size_t>(size)) return 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 0;
}

int Find(const std::map<std::string, std::string>& values,
         const std::string& key, std::string& value) {
  auto it = values.find(key);
  if (it == values.end()) return 1;
  value = it->second;
  return 0;
}

}  // namespace

int StderrLogger::LogMsg(const char* text, int level) const {
  if (level > max_level_) return 0;
  const std::size_t length = std::strlen(text);
  if (length <= kMaxLine) {
    std::fprintf(stderr, "%d: %s\n", level, text);
  } else {
    std::fprintf(stderr, "%d: %.*s [... %zu more bytes]\n", level,
                 static_cast<int>(kMaxLine), text, length - kMaxLine);
  }
  return 0;
}

int StderrLogger::vLog(int level, const char* format, va_list args) const {
  if (level > max_level_) return 0;
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return 0;
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(&text[0], text.size() + 1, format, args);
  return LogMsg(text.c_str(), level);
}

int StderrLogger::SetLogLevel(int level) const {
  max_level_ = level;
  return 0;
}

int StderrLogger::LogDB(int value, const char* text) const {
  return LogMsg(text, value);
}

int MapPolicyInfo::GetNamespaceInfo(const char*, const char* key, char* buffer,
                                    int size) const {
  std::string value;
  if (Find(values, key, value) != 0) return 1;
  return Fill(value, buffer, size);
}

int MapConfigParameters::GetValue(const std::string& name,
                                  std::string& value) const {
  return Find(values, name, value);
}

int MapConfigParameters::GetTuningParameter(const std::string& name,
                                            std::string& value) const {
  return Find(tuning, name, value);
}

int FixedCapabilities::GetNumOfPorts(int* count) const {
  *count = ports;
  return 0;
}

int FixedCapabilities::GetModel(char* buffer, int size) const {
  if (model.empty()) return 1;
  return Fill(model, buffer, size);
}

int FixedCapabilities::GetAVPValue(const char* name, char* buffer,
                                   int size) const {
  std::string value;
  if (Find(avps, name, value) != 0) return 1;
  return Fill(value, buffer, size);
}
