// What velkhost reports: SHA-256 checksums of files, and one JSON object
// for automation (--json).
#ifndef VELKCONF_TOOLS_VELKHOST_REPORT_H_
#define VELKCONF_TOOLS_VELKHOST_REPORT_H_

#include <string>
#include <utility>
#include <vector>

// Lower-case hexadecimal SHA-256 of data.
std::string Sha256Hex(const std::string& data);

// A JSON object whose members keep the order they were first set in;
// setting a member again replaces its value.
class JsonObject {
 public:
  JsonObject& Set(const std::string& key, const std::string& value);
  JsonObject& Set(const std::string& key, const char* value);
  JsonObject& Set(const std::string& key, long long value);
  JsonObject& Set(const std::string& key, bool value);
  JsonObject& Set(const std::string& key, const JsonObject& value);
  bool Empty() const { return members_.empty(); }
  std::string Text() const;

 private:
  JsonObject& SetRaw(const std::string& key, std::string encoded);
  std::vector<std::pair<std::string, std::string>> members_;
};

// text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

#endif  // VELKCONF_TOOLS_VELKHOST_REPORT_H_
