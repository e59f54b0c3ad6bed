// Logging and capability queries: the library's way to the host's logger,
// policy-information and capabilities objects.
#include <cstring>
#include <string>

#include "velkconf/host_glue.h"

const ILogger* g_pLogger = nullptr;
const ISensorPolicyInfo* g_pSensorPolicyInfo = nullptr;
const ISensorCapabilities* g_pSensorCapabilities = nullptr;

namespace {

const int kNamespaceInfoSize = 512;
const int kModelSize = 80;
const int kAvpValueSize = 512;

// The text a host left in one of our buffers: up to the first NUL, and
// never past the buffer, whether or not the host terminated it.
void AssignFromBuffer(std::string& destination, const char* buffer,
                      std::size_t size) {
  destination.assign(buffer, ::strnlen(buffer, size));
}

}  // namespace

void SetLoggerInterface(const ILogger* logger) { g_pLogger = logger; }

void SetSensorPolicyInfo(const ISensorPolicyInfo* info) {
  g_pSensorPolicyInfo = info;
}

void SetCapabilitiesInterface(const ISensorCapabilities* capabilities) {
  g_pSensorCapabilities = capabilities;
}

void Log(int level, const char* format, ...) {
  if (g_pLogger == nullptr) return;
  va_list args;
  va_start(args, format);
  g_pLogger->vLog(level, format, args);
  va_end(args);
}

void vLog(int level, const char* format, va_list args) {
  if (g_pLogger != nullptr) g_pLogger->vLog(level, format, args);
}

void LogMsg(const char* text, int level) {
  if (g_pLogger != nullptr) g_pLogger->LogMsg(text, level);
}

void SetLogLevel(int level) {
  if (g_pLogger != nullptr) g_pLogger->SetLogLevel(level);
}

void LogDB(int value, const char* text) {
  if (g_pLogger != nullptr) g_pLogger->LogDB(value, text);
}

int SCGetNumOfPorts() {
  int count = 0;
  if (g_pSensorCapabilities != nullptr) {
    g_pSensorCapabilities->GetNumOfPorts(&count);
  }
  return count;
}

std::string SCGetModel() {
  std::string model;
  if (g_pSensorCapabilities == nullptr) return model;
  char buffer[kModelSize];
  buffer[0] = '\0';
  if (g_pSensorCapabilities->GetModel(buffer, kModelSize) == 0) {
    AssignFromBuffer(model, buffer, sizeof buffer);
  }
  return model;
}

int GetNamespaceInfo(const std::string& ns, const std::string& key,
                     std::string& value) {
  if (g_pSensorPolicyInfo == nullptr) return 1;
  char buffer[kNamespaceInfoSize];
  const int rc = g_pSensorPolicyInfo->GetNamespaceInfo(
      ns.c_str(), key.c_str(), buffer, kNamespaceInfoSize);
  if (rc != 0) return rc;
  AssignFromBuffer(value, buffer, sizeof buffer);
  return 0;
}

bool SCGetAVPValue(const std::string& name, std::string& value) {
  if (g_pSensorCapabilities == nullptr) return false;
  char buffer[kAvpValueSize];
  buffer[0] = '\0';
  if (g_pSensorCapabilities->GetAVPValue(name.c_str(), buffer, kAvpValueSize) !=
      0) {
    return false;
  }
  AssignFromBuffer(value, buffer, sizeof buffer);
  return true;
}
