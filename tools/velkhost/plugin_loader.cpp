#include "plugin_loader.h"

#include <dlfcn.h>

namespace {

template <typename T>
bool Resolve(void* handle, const char* symbol, T& out, std::string& error) {
  dlerror();
  void* address = dlsym(handle, symbol);
  const char* reason = dlerror();
  if (reason != nullptr || address == nullptr) {
    error = std::string("missing symbol ") + symbol + ": " +
            (reason ? reason : "null");
    return false;
  }
  out = reinterpret_cast<T>(address);
  return true;
}

}  // namespace

bool Plugin::Load(const std::string& path, std::string& error) {
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = "cannot load " + path + ": " + (reason ? reason : "unknown");
    return false;
  }
  bool ok =
      Resolve(handle, "Initialize", Initialize, error) &&
      Resolve(handle, "PreProcess", PreProcess, error) &&
      Resolve(handle, "Process", Process, error) &&
      Resolve(handle, "PostProcess", PostProcess, error) &&
      Resolve(handle, "Validate", Validate, error) &&
      Resolve(handle, "Commit", Commit, error) &&
      Resolve(handle, "Uninitialize", Uninitialize, error) &&
      Resolve(handle, "GetErrorMessage", GetErrorMessage, error) &&
      Resolve(handle, "ReleaseErrorMessage", ReleaseErrorMessage, error) &&
      Resolve(handle, "s___name", name, error) &&
      Resolve(handle, "s___version", version, error) &&
      Resolve(handle, "s___special", special, error);
  if (!ok) {
    error = path + ": " + error;
    Unload();
  }
  return ok;
}

void Plugin::Unload() {
  if (handle != nullptr) dlclose(handle);
  handle = nullptr;
}

std::string Plugin::LastError() const {
  char* message = nullptr;
  GetErrorMessage(&message);
  std::string text = message ? message : "";
  ReleaseErrorMessage(message);
  return text;
}
