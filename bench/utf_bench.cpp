// Every conversion direction on four texts (ASCII, Latin with accents, CJK,
// emoji), side by side in one run with ICU, glibc iconv and a memcpy of the
// same input bytes.
//
// Rows are named direction/text/implementation.  Throughput is MB/s of
// *our* input for that direction (UTF-32 is unsigned long, eight bytes a
// unit), for every implementation alike, so the MB/s of a row are
// proportional to characters per second and directly comparable.  Our rows
// carry two user counters computed from the rows measured just before them
// in the same run: x_icu (ICU's time / ours, above 1 is faster than ICU)
// and x_memcpy (memcpy's time / ours).  At the end a summary table is
// printed in Markdown.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "library_flags.h"
#include "velkconf/convert_utf.h"

namespace {

struct Text {
  std::string name;
  std::string utf8;
  std::vector<unsigned short> utf16;
  std::vector<UChar> icu16;
  std::vector<unsigned long> utf32;
  std::vector<UChar32> icu32;
};

// Random words from a vocabulary, with spaces, punctuation and line breaks,
// until the UTF-8 text reaches about 4 MiB.
Text MakeText(const char* name, const std::vector<std::string>& words,
              const std::string& space, const std::string& stop) {
  Text t;
  t.name = name;
  std::mt19937 rng(42);
  const std::size_t kSize = 4 << 20;
  int inSentence = 0;
  while (t.utf8.size() < kSize) {
    t.utf8 += words[rng() % words.size()];
    if (++inSentence > 6 && rng() % 5 == 0) {
      t.utf8 += stop;
      inSentence = 0;
      if (rng() % 6 == 0) t.utf8 += "\n";
    }
    t.utf8 += space;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(t.utf8.data());
  std::basic_string<unsigned short> u16;
  unsigned long count = 0;
  ConvertUTF8toUTF16(&p, p + t.utf8.size(), u16, &count, strictConversion);
  t.utf16.assign(u16.begin(), u16.end());
  t.icu16.assign(u16.begin(), u16.end());
  t.utf32.resize(t.utf16.size());
  const unsigned short* s = t.utf16.data();
  unsigned long* d = t.utf32.data();
  ConvertUTF16toUTF32(&s, s + t.utf16.size(), &d, d + t.utf32.size(),
                      strictConversion);
  t.utf32.resize(static_cast<std::size_t>(d - t.utf32.data()));
  t.icu32.assign(t.utf32.begin(), t.utf32.end());
  return t;
}

std::vector<Text> MakeTexts() {
  std::vector<Text> texts;
  texts.push_back(
      MakeText("ascii",
               {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog",
                "sensor", "policy", "remote", "syslog", "server",
                "configuration", "event", "health", "security", "a", "of"},
               " ", "."));
  texts.push_back(MakeText(
      "latin",
      {"le",     "la",    "été",  "français", "déjà",    "élève", "château",
       "garçon", "hôtel", "cœur", "naïve",    "und",     "der",   "Straße",
       "Müller", "Größe", "über", "schön",    "Mädchen", "Äpfel", "Fußgänger",
       "mit",    "pour",  "est",  "très",     "bientôt"},
      " ", "."));
  texts.push_back(MakeText(
      "cjk",
      {"日本語", "中文", "漢字", "東京", "北京", "文字化け", "こんにちは",
       "世界",   "電脳", "情報", "処理", "系统", "编码",     "转换",
       "测试",   "設定", "서버", "보안", "の",   "は"},
      "", "。"));
  texts.push_back(MakeText("emoji",
                           {"😀", "🎉", "👍", "🚀", "❤️", "🇫🇷", "👩‍💻",
                            "🙈", "🔥", "🌍", "✨", "🐧", "📦", "🧪", "😂😂"},
                           "", " "));
  return texts;
}

const std::vector<Text>& Texts() {
  static const std::vector<Text> texts = MakeTexts();
  return texts;
}

// Room for any output of any direction on any text.
std::vector<unsigned char>& ScratchBuffer() {
  static std::vector<unsigned char> scratch = [] {
    std::size_t most = 0;
    for (const Text& t : Texts()) most = std::max(most, t.utf8.size() * 8 + 64);
    return std::vector<unsigned char>(most);
  }();
  return scratch;
}
unsigned char* Scratch() { return ScratchBuffer().data(); }

// iconv from one encoding to another over a whole buffer.
std::size_t Iconv(const char* to, const char* from, const void* in,
                  std::size_t inBytes) {
  static std::map<std::string, iconv_t> handles;
  iconv_t& cd = handles[std::string(to) + "<" + from];
  if (cd == iconv_t{} || cd == reinterpret_cast<iconv_t>(-1))
    cd = iconv_open(to, from);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(static_cast<const char*>(in));
  char* dst = reinterpret_cast<char*>(Scratch());
  std::size_t left = inBytes, room = ScratchBuffer().size();
  iconv(cd, &src, &left, &dst, &room);
  return static_cast<std::size_t>(dst - reinterpret_cast<char*>(Scratch()));
}

// One conversion of a whole text; returns the bytes it wrote.
using Convert = std::function<std::size_t(const Text&)>;

struct Impl {
  const char* name;
  Convert run;
};

struct Direction {
  const char* name;
  std::size_t (*inputBytes)(const Text&);
  std::vector<Impl> impls;  // memcpy and ICU first: our rows compare with them
};

template <typename T>
std::size_t Bytes(const std::vector<T>& v) {
  return v.size() * sizeof(T);
}

std::size_t Memcpy(const void* src, std::size_t n) {
  std::memcpy(Scratch(), src, n);
  benchmark::ClobberMemory();
  return n;
}

// Writing our output's bytes and nothing else: the floor of a direction
// whose output is much larger than its input.
std::size_t Write(std::size_t n) {
  std::memset(Scratch(), 0x20, n);
  benchmark::ClobberMemory();
  return n;
}

std::vector<Direction> Directions() {
  unsigned char* const out = Scratch();
  auto* out16 = reinterpret_cast<unsigned short*>(out);
  auto* out32 = reinterpret_cast<unsigned long*>(out);
  auto* icuOut16 = reinterpret_cast<UChar*>(out);
  auto* icuOut32 = reinterpret_cast<UChar32*>(out);
  const int32_t kCap = static_cast<int32_t>(ScratchBuffer().size());
  return {
      {"utf16_to_utf8",
       [](const Text& t) { return Bytes(t.utf16); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf16.data(), Bytes(t.utf16)); }},
        {"write", [](const Text& t) { return Write(t.utf8.size()); }},
        {"icu",
         [=](const Text& t) {
           int32_t n = 0;
           UErrorCode e = U_ZERO_ERROR;
           u_strToUTF8(reinterpret_cast<char*>(out), kCap, &n, t.icu16.data(),
                       static_cast<int32_t>(t.icu16.size()), &e);
           return static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-8", "UTF-16LE", t.utf16.data(), Bytes(t.utf16));
         }},
        {"velk",
         [=](const Text& t) {
           const unsigned short* s = t.utf16.data();
           unsigned char* d = out;
           ConvertUTF16toUTF8(&s, s + t.utf16.size(), &d, out + kCap,
                              strictConversion);
           return static_cast<std::size_t>(d - out);
         }},
        {"velk_string",
         [](const Text& t) {
           const unsigned short* s = t.utf16.data();
           std::string str;
           unsigned long count = 0;
           ConvertUTF16toUTF8(&s, s + t.utf16.size(), str, &count,
                              strictConversion);
           return str.size();
         }}}},
      {"utf8_to_utf16",
       [](const Text& t) { return t.utf8.size(); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf8.data(), t.utf8.size()); }},
        {"write", [](const Text& t) { return Write(Bytes(t.utf16)); }},
        {"icu",
         [=](const Text& t) {
           int32_t n = 0;
           UErrorCode e = U_ZERO_ERROR;
           u_strFromUTF8(icuOut16, kCap, &n, t.utf8.data(),
                         static_cast<int32_t>(t.utf8.size()), &e);
           return 2 * static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-16LE", "UTF-8", t.utf8.data(), t.utf8.size());
         }},
        {"velk",
         [=](const Text& t) {
           const auto* s =
               reinterpret_cast<const unsigned char*>(t.utf8.data());
           unsigned short* d = out16;
           ConvertUTF8toUTF16(&s, s + t.utf8.size(), &d, out16 + kCap / 2,
                              strictConversion);
           return 2 * static_cast<std::size_t>(d - out16);
         }},
        {"velk_string",
         [](const Text& t) {
           const auto* s =
               reinterpret_cast<const unsigned char*>(t.utf8.data());
           std::basic_string<unsigned short> str;
           unsigned long count = 0;
           ConvertUTF8toUTF16(&s, s + t.utf8.size(), str, &count,
                              strictConversion);
           return 2 * str.size();
         }}}},
      {"utf8_to_utf32",
       [](const Text& t) { return t.utf8.size(); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf8.data(), t.utf8.size()); }},
        {"write", [](const Text& t) { return Write(Bytes(t.utf32)); }},
        // ICU has no UTF-8 to UTF-32 string function: its U8_NEXT loop.
        {"icu",
         [=](const Text& t) {
           const auto* s = reinterpret_cast<const uint8_t*>(t.utf8.data());
           const int32_t length = static_cast<int32_t>(t.utf8.size());
           int32_t i = 0, n = 0;
           while (i < length) {
             UChar32 c;
             U8_NEXT(s, i, length, c);
             icuOut32[n++] = c;
           }
           return 4 * static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-32LE", "UTF-8", t.utf8.data(), t.utf8.size());
         }},
        {"velk",
         [=](const Text& t) {
           const auto* s =
               reinterpret_cast<const unsigned char*>(t.utf8.data());
           unsigned long* d = out32;
           ConvertUTF8toUTF32(&s, s + t.utf8.size(), &d, out32 + kCap / 8,
                              strictConversion);
           return 8 * static_cast<std::size_t>(d - out32);
         }}}},
      {"utf16_to_utf32",
       [](const Text& t) { return Bytes(t.utf16); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf16.data(), Bytes(t.utf16)); }},
        {"write", [](const Text& t) { return Write(Bytes(t.utf32)); }},
        {"icu",
         [=](const Text& t) {
           int32_t n = 0;
           UErrorCode e = U_ZERO_ERROR;
           u_strToUTF32(icuOut32, kCap / 4, &n, t.icu16.data(),
                        static_cast<int32_t>(t.icu16.size()), &e);
           return 4 * static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-32LE", "UTF-16LE", t.utf16.data(), Bytes(t.utf16));
         }},
        {"velk",
         [=](const Text& t) {
           const unsigned short* s = t.utf16.data();
           unsigned long* d = out32;
           ConvertUTF16toUTF32(&s, s + t.utf16.size(), &d, out32 + kCap / 8,
                               strictConversion);
           return 8 * static_cast<std::size_t>(d - out32);
         }},
        {"velk_string",
         [](const Text& t) {
           const unsigned short* s = t.utf16.data();
           std::wstring str;
           unsigned long count = 0;
           ConvertUTF16toUTF32<wchar_t, unsigned long>(
               &s, s + t.utf16.size(), str, &count, strictConversion);
           return 4 * str.size();
         }}}},
      {"utf32_to_utf16",
       [](const Text& t) { return Bytes(t.utf32); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf32.data(), Bytes(t.utf32)); }},
        {"write", [](const Text& t) { return Write(Bytes(t.utf16)); }},
        {"icu",
         [=](const Text& t) {
           int32_t n = 0;
           UErrorCode e = U_ZERO_ERROR;
           u_strFromUTF32(icuOut16, kCap / 2, &n, t.icu32.data(),
                          static_cast<int32_t>(t.icu32.size()), &e);
           return 2 * static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-16LE", "UTF-32LE", t.icu32.data(), Bytes(t.icu32));
         }},
        {"velk",
         [=](const Text& t) {
           const unsigned long* s = t.utf32.data();
           unsigned short* d = out16;
           ConvertUTF32toUTF16(&s, s + t.utf32.size(), &d, out16 + kCap / 2,
                               strictConversion);
           return 2 * static_cast<std::size_t>(d - out16);
         }},
        {"velk_string",
         [](const Text& t) {
           const unsigned long* s = t.utf32.data();
           std::basic_string<unsigned short> str;
           unsigned long count = 0;
           ConvertUTF32toUTF16(&s, s + t.utf32.size(), str, &count,
                               strictConversion);
           return 2 * str.size();
         }}}},
      {"utf32_to_utf8",
       [](const Text& t) { return Bytes(t.utf32); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf32.data(), Bytes(t.utf32)); }},
        {"write", [](const Text& t) { return Write(t.utf8.size()); }},
        // ICU has no UTF-32 to UTF-8 string function: its U8_APPEND loop.
        {"icu",
         [=](const Text& t) {
           int32_t n = 0;
           UBool error = false;
           for (UChar32 c : t.icu32) U8_APPEND(out, n, kCap, c, error);
           benchmark::DoNotOptimize(error);
           return static_cast<std::size_t>(n);
         }},
        {"iconv",
         [](const Text& t) {
           return Iconv("UTF-8", "UTF-32LE", t.icu32.data(), Bytes(t.icu32));
         }},
        {"velk",
         [=](const Text& t) {
           const unsigned long* s = t.utf32.data();
           unsigned char* d = out;
           ConvertUTF32toUTF8(&s, s + t.utf32.size(), &d, out + kCap,
                              strictConversion);
           return static_cast<std::size_t>(d - out);
         }},
        {"velk_string",
         [](const Text& t) {
           const unsigned long* s = t.utf32.data();
           std::string str;
           unsigned long count = 0;
           ConvertUTF32toUTF8(&s, s + t.utf32.size(), str, &count,
                              strictConversion);
           return str.size();
         }}}},
  };
}

// Seconds per conversion, by row name, as measured in this run.
std::map<std::string, double>& Seconds() {
  static std::map<std::string, double> seconds;
  return seconds;
}

void Measure(benchmark::State& state, const std::string& prefix,
             const char* impl, const Convert& run, const Text& text,
             std::size_t inputBytes) {
  using Clock = std::chrono::steady_clock;
  std::size_t written = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    written = run(text);
    benchmark::DoNotOptimize(written);
  }
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count() /
      static_cast<double>(state.iterations());
  // The best of the repetitions: other load on the machine only slows.
  double& best = Seconds()[prefix + impl];
  if (best == 0 || seconds < best) best = seconds;
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * inputBytes));
  if (std::strncmp(impl, "velk", 4) == 0) {
    for (const char* other : {"icu", "memcpy"}) {
      const auto it = Seconds().find(prefix + other);
      if (it != Seconds().end())
        state.counters[std::string("x_") + other] = it->second / best;
    }
  }
}

void PrintSummary(const std::vector<Direction>& directions) {
  std::printf(
      "\n| direction | text | velk MB/s | velk string MB/s | ICU MB/s | iconv "
      "MB/s | memcpy MB/s "
      "| write-only MB/s | velk / ICU | velk / memcpy "
      "|\n|---|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
  for (const Direction& dir : directions) {
    for (const Text& text : Texts()) {
      const std::string prefix = std::string(dir.name) + "/" + text.name + "/";
      if (Seconds().count(prefix + "velk") == 0) continue;  // filtered out
      const double mb = static_cast<double>(dir.inputBytes(text)) / 1e6;
      auto rate = [&](const char* impl) -> std::string {
        const auto it = Seconds().find(prefix + impl);
        if (it == Seconds().end()) return "-";
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", mb / it->second);
        return buf;
      };
      // Ratios of times: above 1 (or 100%) means velk is faster.
      auto ratio = [&](const char* other, double scale,
                       const char* format) -> std::string {
        const auto velk = Seconds().find(prefix + "velk"),
                   it = Seconds().find(prefix + other);
        if (velk == Seconds().end() || it == Seconds().end()) return "-";
        char buf[32];
        std::snprintf(buf, sizeof buf, format,
                      scale * it->second / velk->second);
        return buf;
      };
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                  dir.name, text.name.c_str(), rate("velk").c_str(),
                  rate("velk_string").c_str(), rate("icu").c_str(),
                  rate("iconv").c_str(), rate("memcpy").c_str(),
                  rate("write").c_str(), ratio("icu", 1, "%.2f").c_str(),
                  ratio("memcpy", 100, "%.0f%%").c_str());
    }
  }
}

// Our output must be ICU's, byte for byte, before any timing counts.
bool SameAsIcu(const std::vector<Direction>& directions) {
  bool same = true;
  for (const Direction& dir : directions) {
    for (const Text& text : Texts()) {
      std::vector<std::vector<uint32_t>> outputs;
      for (const Impl& impl : dir.impls) {
        if (std::strcmp(impl.name, "memcpy") == 0 ||
            std::strcmp(impl.name, "write") == 0 ||
            std::strcmp(impl.name, "iconv") == 0 ||
            std::strcmp(impl.name, "velk_string") == 0) {
          continue;
        }
        const std::size_t bytes = impl.run(text);
        // Output units: UTF-8 bytes, UTF-16 units, or UTF-32 values (ICU's
        // four bytes, our eight).
        const std::string to(dir.name + std::string(dir.name).find("_to_") + 4);
        const std::size_t width = to == "utf8"                         ? 1
                                  : to == "utf16"                      ? 2
                                  : std::strcmp(impl.name, "icu") == 0 ? 4
                                                                       : 8;
        std::vector<uint32_t> values(bytes / width);
        for (std::size_t i = 0; i < values.size(); ++i) {
          uint64_t v = 0;
          std::memcpy(&v, Scratch() + i * width, width);
          values[i] = static_cast<uint32_t>(v);
        }
        outputs.push_back(std::move(values));
      }
      if (outputs.size() == 2 && outputs[0] != outputs[1]) {
        std::fprintf(stderr, "%s on %s: output differs from ICU's\n", dir.name,
                     text.name.c_str());
        same = false;
      }
    }
  }
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("libvelkconf as installed: %s\n", VELK_LIBRARY_BUILD);
  const std::vector<Direction> directions = Directions();
  if (!SameAsIcu(directions)) return 1;
  for (const Direction& dir : directions) {
    for (const Text& text : Texts()) {
      const std::string prefix = std::string(dir.name) + "/" + text.name + "/";
      for (const Impl& impl : dir.impls) {
        benchmark::RegisterBenchmark((prefix + impl.name).c_str(), Measure,
                                     prefix, impl.name, impl.run,
                                     std::cref(text), dir.inputBytes(text))
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.1)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
      }
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nlibvelkconf as installed: %s\n", VELK_LIBRARY_BUILD);
  PrintSummary(directions);
  benchmark::Shutdown();
  return 0;
}
