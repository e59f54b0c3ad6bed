#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "locations.h"
#include "policy_check.h"
#include "report.h"
#include "support/files.h"

namespace {

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding needs a block of its own.
  EXPECT_EQ(
      Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
      "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Json, EscapesAndKeepsOrder) {
  JsonObject inner;
  inner.Set("n", 3LL).Set("ok", true);
  JsonObject object;
  object.Set("text", std::string("a\"b\\c\nd\x01"))
      .Set("inner", inner)
      .Set("text", "again");
  EXPECT_EQ(object.Text(),
            "{\"text\":\"again\",\"inner\":{\"n\":3,\"ok\":true}}");
  EXPECT_EQ(JsonString("a\"b\\c\nd\x01\t"), "\"a\\\"b\\\\c\\nd\\u0001\\t\"");
}

TEST(Json, ReplacesWhatIsNotUtf8) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"caf\xe9!", "caf\\ufffd!"},                           // Latin-1
      {"\xc0\xaf", "\\ufffd\\ufffd"},                        // overlong
      {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"},             // a surrogate
      {"\xf4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // above U+10FFFF
      {"\xe2\x82", "\\ufffd"},         // cut short at the end
      {"\xe2\x82x", "\\ufffdx"},       // cut short
      {"\x80\xff", "\\ufffd\\ufffd"},  // no lead byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonString(c.text), "\"" + c.json + "\"") << c.text;
  }
}

class PolicyFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velkhost-parts.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ASSERT_EQ(std::system(("rm -rf " + dir_).c_str()), 0);
  }
  std::string dir_;
};

// (Empty files, directories, missing and huge files: velkhost_test.)
TEST_F(PolicyFiles, RefusesWhatIsNotAPolicyFile) {
  const std::string small = dir_ + "/small";
  WriteFile(small, "<policy/>");
  ASSERT_EQ(symlink("/dev/zero", (dir_ + "/zero").c_str()), 0);
  struct Case {
    std::string path;
    std::size_t limit;
    std::string error;
  } cases[] = {
      {small, 8, small + ": larger than 8 bytes (--max-size raises the limit)"},
      {"/dev/zero", 100, "/dev/zero: not a regular file"},
      {dir_ + "/zero", 100, dir_ + "/zero: not a regular file"},
  };
  for (const Case& c : cases) {
    std::string content = "stale", error;
    EXPECT_FALSE(ReadPolicy(c.path, c.limit, content, error)) << c.path;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(content, "");
  }
  std::string content, error;
  EXPECT_TRUE(ReadPolicy(small, 9, content, error)) << error;
  EXPECT_EQ(content, "<policy/>");
}

TEST_F(PolicyFiles, ReadsAPipeNoFurtherThanTheLimit) {
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    const int fd = open(fifo.c_str(), O_WRONLY);
    const std::string block(65536, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    _exit(0);
  }
  std::string content, error;
  EXPECT_FALSE(ReadPolicy(fifo, 1000, content, error));
  EXPECT_EQ(error,
            fifo + ": larger than 1000 bytes (--max-size raises the limit)");
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
}

const char kHead[] =
    "<policy xmlns=\"http://policy.velk.example/vorn/Korvanta/velk\">\n";
std::string Server(const std::string& attributes) {
  return "<RemoteSyslogServer " + attributes + "/>\n";
}
const char kGood[] =
    "enabled=\"true\" healthEvent=\"true\" systemEvent=\"false\" "
    "securityEvent=\"false\" proto=\"udp\" port=\"514\" server=\"10.0.0.1\"";

class Validation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { xercesc::XMLPlatformUtils::Initialize(); }
  static void TearDownTestSuite() { xercesc::XMLPlatformUtils::Terminate(); }
  std::string Schema() const {
    return std::string(std::getenv("VELK_SOURCE_DIR")) + "/schemas/velk.xsd";
  }
};

// A document that is not even well-formed is placed like any refusal.
// (The schema's refusals, with their places: velkhost_test.)
TEST_F(Validation, RefusesWithFileLineAndColumn) {
  const std::string fine = std::string(kHead) + Server(kGood) + "</policy>";
  for (const std::string& text : {fine.substr(0, 20), fine + "<"}) {
    PolicySummary summary;
    std::string error;
    EXPECT_EQ(ValidatePolicy(text, "p.xml", Schema(), summary, error),
              Validity::kInvalid)
        << text;
    EXPECT_TRUE(error.rfind("p.xml:", 0) == 0) << error;
    const std::string::size_type second = error.find(':', 6);
    ASSERT_NE(second, std::string::npos) << error;
    EXPECT_GT(std::atoi(error.c_str() + 6), 0) << error;
    EXPECT_GT(std::atoi(error.c_str() + second + 1), 0) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  PolicySummary summary;
  std::string error;
  EXPECT_EQ(ValidatePolicy(fine, "p.xml", Schema(), summary, error),
            Validity::kValid)
      << error;
}

TEST_F(Validation, SummarisesWhatIsSwitchedOn) {
  const std::string off =
      "enabled=\"false\" healthEvent=\"true\" systemEvent=\"true\" "
      "securityEvent=\"true\" proto=\"tcp\" port=\"1\" server=\"a\"";
  const std::string no_events =
      "enabled=\" TRUE \" healthEvent=\"false\" systemEvent=\"False\" "
      "securityEvent=\"false\" proto=\"tcp\" port=\"1\" server=\"a\"";
  struct Case {
    std::string body;
    bool silent;
    int servers;
  } cases[] = {
      // clang-format off
      {"", true, 0},
      {"<LocalLog enabled=\"false\" maxSize=\"1\"/>" + Server(off) + Server(no_events), true, 2},
      {"<LocalLog enabled=\" True\" maxSize=\"1\"/>", false, 0},
      {Server(off) + Server("enabled=\"true\" healthEvent=\"false\" systemEvent=\"false\" "
          "securityEvent=\"TRUE\" proto=\"tcp\" port=\"1\" server=\"a\""), false, 2},
      // A local log, but every server listed is switched off.
      {"<LocalLog enabled=\"true\" maxSize=\"1\"/>" + Server(off) + Server(no_events), true, 2},
      // clang-format on
  };
  for (const Case& c : cases) {
    PolicySummary summary;
    std::string error;
    ASSERT_EQ(ValidatePolicy(kHead + c.body + "</policy>", "p", Schema(),
                             summary, error),
              Validity::kValid)
        << error;
    EXPECT_EQ(!summary.Silence().empty(), c.silent) << c.body;
    EXPECT_EQ(summary.servers, c.servers) << c.body;
  }
}

TEST_F(Validation, ReadsNoSchemaTheDocumentNames) {
  // A schema that would make the document valid, named by a hint.
  char dir[] = "/tmp/velkhost-hint.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string hinted = std::string(dir) + "/any.xsd";
  WriteFile(hinted,
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
            "targetNamespace=\"urn:other\"><xs:element name=\"policy\"/>"
            "</xs:schema>");
  const std::string document =
      "<policy xmlns=\"urn:other\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xsi:schemaLocation=\"urn:other " +
      hinted + "\"/>";
  PolicySummary summary;
  std::string error;
  EXPECT_EQ(ValidatePolicy(document, "p", Schema(), summary, error),
            Validity::kInvalid);
  EXPECT_EQ(error.rfind("p:1:", 0), 0u) << error;
  unlink(hinted.c_str());
  rmdir(dir);
}

TEST_F(Validation, AnUnreadableSchemaIsNamed) {
  PolicySummary summary;
  std::string error;
  EXPECT_EQ(ValidatePolicy(std::string(kHead) + "</policy>", "p",
                           "/nonexistent/velk.xsd", summary, error),
            Validity::kNoSchema);
  EXPECT_EQ(error.rfind("/nonexistent/velk.xsd", 0), 0u) << error;

  char broken[] = "/tmp/velkhost-schema.XXXXXX";
  const int fd = mkstemp(broken);
  ASSERT_GE(fd, 0);
  close(fd);
  WriteFile(broken, "<not-a-schema/>");
  EXPECT_EQ(ValidatePolicy(std::string(kHead) + "</policy>", "p", broken,
                           summary, error),
            Validity::kNoSchema);
  EXPECT_EQ(error.rfind(broken, 0), 0u) << error;
  unlink(broken);
}

TEST_F(PolicyFiles, TheBuildTreeMarkerIsTrustedOnlyWhenNoOneElseMayWriteIt) {
  const std::string exe = dir_ + "/bin/velkhost";
  MakeDirs(dir_ + "/bin");
  WriteFile(exe, "");
  Locations installed = LocationsFor(exe);
  ASSERT_FALSE(installed.plugins.empty());
  for (const std::string& path : installed.plugins) {
    EXPECT_EQ(path.rfind(dir_ + "/", 0), 0u) << path;
    EXPECT_EQ(path.find(".."), std::string::npos) << path;
  }
  EXPECT_NE(installed.plugins.back().find("/libvelkconf.so"),
            std::string::npos);
  EXPECT_NE(installed.schema.find("/velkconf/schemas/velk.xsd"),
            std::string::npos);

  const std::string marker = dir_ + "/bin/velkhost.build-tree";
  WriteFile(marker, "plugin=/b/libvelkconf.so\nschema=/s/velk.xsd\n");
  chmod(marker.c_str(), 0644);
  Locations built = LocationsFor(exe);
  EXPECT_EQ(built.plugins, std::vector<std::string>{"/b/libvelkconf.so"});
  EXPECT_EQ(built.schema, "/s/velk.xsd");

  EXPECT_EQ(built.warning, "");

  // Another owner, others allowed to write, or a link: ignored, and said.
  const std::string target = dir_ + "/marker";
  const std::function<void()> untrusted[] = {
      [&] { ASSERT_EQ(chmod(marker.c_str(), 0664), 0); },
      [&] {
        ASSERT_EQ(chmod(marker.c_str(), 0644), 0);
        ASSERT_EQ(chown(marker.c_str(), 65534, 65534), 0);
      },
      [&] {
        ASSERT_EQ(rename(marker.c_str(), target.c_str()), 0);
        ASSERT_EQ(chown(target.c_str(), 0, 0), 0);
        ASSERT_EQ(symlink(target.c_str(), marker.c_str()), 0);
      },
  };
  if (geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
  for (const auto& make_untrusted : untrusted) {
    make_untrusted();
    const Locations found = LocationsFor(exe);
    EXPECT_EQ(found.plugins, installed.plugins);
    EXPECT_EQ(found.schema, installed.schema);
    EXPECT_EQ(found.warning.rfind(marker + ": ", 0), 0u) << found.warning;
  }
}

}  // namespace
