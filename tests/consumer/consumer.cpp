// A host linked against libvelkconf at build time (rather than loading it
// with dlopen): uses the entry points, the identification strings and the
// conversions through the installed headers.
#include <velkconf/velkconf.h>

#include <cstdio>
#include <cstring>
#include <string>

const char* ConsumerNamespace();

namespace {

class CountingLogger : public ILogger {
 public:
  mutable int lines = 0;
  int LogMsg(const char*, int) const override { return 0; }
  int vLog(int, const char*, va_list) const override { return ++lines; }
  int SetLogLevel(int) const override { return 0; }
  int LogDB(int, const char*) const override { return 0; }
};

int failures = 0;
void Expect(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  CountingLogger logger;
  Expect(Initialize(&logger, nullptr, nullptr, nullptr) == 0, "Initialize");
  Expect(PreProcess() == 0, "PreProcess");
  Expect(logger.lines == 3, "three trace lines");
  char* message = nullptr;
  Expect(GetErrorMessage(&message) == 0 && message && *message == '\0',
         "empty error message");
  ReleaseErrorMessage(message);
  Expect(std::strcmp(s___name, "@(#)!ZEVNAME!libvelkconf.so!ZEVNAME!") == 0,
         "identification");
  Expect(std::strncmp(ConsumerNamespace(), "http://", 7) == 0, "namespace");

  const unsigned short euro[] = {0x20AC};
  const unsigned short* source = euro;
  std::string utf8;
  unsigned long count = 0;
  Expect(ConvertUTF16toUTF8(&source, euro + 1, utf8, &count,
                            lenientConversion) == conversionOK &&
             utf8 == "\xE2\x82\xAC" && count == 1,
         "conversion");
  Uninitialize();
  std::printf("%d passed, %d failed\n", 6 - failures, failures);
  return failures == 0 ? 0 : 1;
}
