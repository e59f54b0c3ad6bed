// Every conversion direction and the validator on eleven generated texts
// (prose in ASCII, Latin with accents, Cyrillic, Greek, Devanagari, Thai and
// CJK; Chinese inside HTML and inside JSON; chat mixing languages and
// emoji; emoji), side by side in one run with ICU, glibc iconv, a memcpy of
// the same input bytes and a memset of our output's bytes.
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

using Rng = std::mt19937;
using Words = std::vector<std::string>;

const std::string& Pick(const Words& words, Rng& rng) {
  return words[rng() % words.size()];
}

// Pieces from piece(rng) until the UTF-8 text reaches about 4 MiB, and the
// text in the other encodings.
Text MakeText(const char* name, const std::function<std::string(Rng&)>& piece) {
  Text t;
  t.name = name;
  Rng rng(42);
  const std::size_t kSize = 4 << 20;
  while (t.utf8.size() < kSize) t.utf8 += piece(rng);
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

// Sentences of random words from a vocabulary, with spaces, punctuation
// and line breaks.
std::string Sentence(const Words& words, const std::string& space,
                     const std::string& stop, Rng& rng) {
  std::string s;
  for (int n = 7 + static_cast<int>(rng() % 12); n > 0; --n) {
    s += Pick(words, rng);
    if (n > 1 && rng() % 9 == 0) s += ",";
    s += n > 1 ? space : stop;
  }
  s += rng() % 6 == 0 ? "\n" : space;
  return s;
}

Text Prose(const char* name, const Words& words, const std::string& space,
           const std::string& stop) {
  return MakeText(name,
                  [=](Rng& rng) { return Sentence(words, space, stop, rng); });
}

const Words kChinese = {
    "中国", "北京",   "上海", "经济", "发展", "技术", "公司", "市场", "网络",
    "安全", "服务器", "配置", "日志", "政策", "事件", "系统", "的",   "了",
    "是",   "在",     "和",   "有",   "我们", "他们", "今天", "新闻"};

std::vector<Text> MakeTexts() {
  std::vector<Text> texts;
  texts.push_back(
      Prose("ascii",
            {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog",
             "sensor", "policy", "remote", "syslog", "server", "configuration",
             "event", "health", "security", "a", "of"},
            " ", "."));
  texts.push_back(Prose(
      "latin",
      {"le",     "la",    "été",  "français", "déjà",    "élève", "château",
       "garçon", "hôtel", "cœur", "naïve",    "und",     "der",   "Straße",
       "Müller", "Größe", "über", "schön",    "Mädchen", "Äpfel", "Fußgänger",
       "mit",    "pour",  "est",  "très",     "bientôt"},
      " ", "."));
  texts.push_back(Prose("russian",
                        {"привет",  "мир",          "сервер",       "политика",
                         "журнал",  "событие",      "безопасность", "здоровье",
                         "система", "конфигурация", "удалённый",    "и",
                         "в",       "на",           "не",           "что",
                         "это",     "был",          "для",          "как",
                         "Москва",  "сегодня",      "работа",       "человек",
                         "время",   "год"},
                        " ", "."));
  texts.push_back(Prose(
      "greek", {"καλημέρα", "κόσμος",   "διακομιστής", "πολιτική", "ημερολόγιο",
                "συμβάν",   "ασφάλεια", "σύστημα",     "και",      "το",
                "της",      "που",      "είναι",       "με",       "για",
                "στο",      "Αθήνα",    "σήμερα",      "άνθρωπος", "χρόνος"},
      " ", "."));
  texts.push_back(Prose(
      "hindi", {"नमस्ते", "दुनिया", "सर्वर", "नीति", "घटना",   "सुरक्षा", "प्रणाली",
                "और",   "है",     "के",    "में",    "की",     "से",     "यह",
                "एक",   "लिए",   "भारत", "आज",   "समाचार", "सरकार"},
      " ", "।"));
  texts.push_back(Prose(
      "thai",
      {"สวัสดี", "โลก", "เซิร์ฟเวอร์", "นโยบาย", "เหตุการณ์", "ความปลอดภัย", "ระบบ",
       "และ", "ของ", "ใน", "ที่", "เป็น", "การ", "ได้", "ประเทศไทย", "วันนี้", "ข่าว"},
      " ", ""));
  texts.push_back(
      Prose("cjk",
            {"日本語", "中文", "漢字", "東京", "北京", "文字化け", "こんにちは",
             "世界",   "電脳", "情報", "処理", "系统", "编码",     "转换",
             "测试",   "設定", "서버", "보안", "の",   "は"},
            "", "。"));
  texts.push_back(MakeText("html_zh", [](Rng& rng) {
    const std::string id = std::to_string(rng() % 100000);
    std::string s = "<div class=\"post\" id=\"post-" + id +
                    "\">\n  <h2><a href=\"/news/" + id + ".html\" title=\"" +
                    Pick(kChinese, rng) + "\">";
    for (int n = 2 + static_cast<int>(rng() % 4); n > 0; --n)
      s += Pick(kChinese, rng);
    s += "</a></h2>\n  <p class=\"body\">";
    for (int n = 20 + static_cast<int>(rng() % 40); n > 0; --n) {
      s += Pick(kChinese, rng);
      if (rng() % 8 == 0) s += rng() % 2 ? "，" : "。";
      if (rng() % 30 == 0) s += "<b>" + Pick(kChinese, rng) + "</b>";
    }
    return s + "</p>\n  <span class=\"date\">2026-12-06</span>\n</div>\n";
  }));
  texts.push_back(MakeText("json_zh", [](Rng& rng) {
    std::string s = "{\"id\":" + std::to_string(rng() % 1000000) +
                    ",\"user\":\"" + Pick(kChinese, rng) + Pick(kChinese, rng) +
                    "\",\"text\":\"";
    for (int n = 5 + static_cast<int>(rng() % 20); n > 0; --n)
      s += Pick(kChinese, rng);
    s += "\",\"tags\":[\"" + Pick(kChinese, rng) + "\",\"" +
         Pick(kChinese, rng) + "\"],\"likes\":" + std::to_string(rng() % 5000) +
         ",\"time\":\"2026-12-06T08:" + std::to_string(10 + rng() % 50) +
         ":00Z\"},\n";
    return s;
  }));
  texts.push_back(MakeText("chat", [](Rng& rng) {
    static const Words kNames = {"alice",  "bob",  "Дима",
                                 "さくら", "José", "李娜"};
    static const Words kWords = {
        "ok",   "lol",        "see",     "you",        "tomorrow",   "thanks",
        "the",  "server",     "is",      "down",       "again",      "привет",
        "как",  "дела",       "спасибо", "こんにちは", "ありがとう", "今日",
        "hola", "qué",        "tal",     "mañana",     "gracias",    "merci",
        "à",    "bientôt",    "好的",    "没问题",     "😂",          "👍",
        "🎉",    "❤️",     "🙈",       "🔥",          "😀",          "🚀",
        "🇫🇷",   "👩‍💻"};
    std::string s = "[" + std::to_string(10 + rng() % 14) + ":" +
                    std::to_string(10 + rng() % 50) + "] " + Pick(kNames, rng) +
                    ": ";
    for (int n = 2 + static_cast<int>(rng() % 10); n > 0; --n)
      s += Pick(kWords, rng) + " ";
    return s + "\n";
  }));
  texts.push_back(MakeText("emoji", [](Rng& rng) {
    static const Words kEmoji = {"😀",  "🎉",           "👍", "🚀",    "❤️",
                                 "🇫🇷", "👩‍💻", "🙈", "🔥",    "🌍",
                                 "✨",  "🐧",           "📦", "🧪", "😂😂"};
    std::string s;
    for (int n = 7 + static_cast<int>(rng() % 12); n > 0; --n)
      s += Pick(kEmoji, rng);
    return s + " ";
  }));
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
      // Validation writes nothing: its rows return 1 for a legal text.
      // ICU has no validator; its two fastest ways to check UTF-8 are a
      // pre-flight of u_strFromUTF8 and a U8_NEXT loop, and the faster of
      // them counts as ICU.
      {"validate",
       [](const Text& t) { return t.utf8.size(); },
       {{"memcpy",
         [](const Text& t) { return Memcpy(t.utf8.data(), t.utf8.size()); }},
        {"icu",
         [](const Text& t) {
           int32_t n = 0;
           UErrorCode e = U_ZERO_ERROR;
           u_strFromUTF8(nullptr, 0, &n, t.utf8.data(),
                         static_cast<int32_t>(t.utf8.size()), &e);
           return static_cast<std::size_t>(e != U_INVALID_CHAR_FOUND);
         }},
        {"icu_loop",
         [](const Text& t) {
           const auto* s = reinterpret_cast<const uint8_t*>(t.utf8.data());
           const int32_t length = static_cast<int32_t>(t.utf8.size());
           for (int32_t i = 0; i < length;) {
             UChar32 c;
             U8_NEXT(s, i, length, c);
             if (c < 0) return std::size_t{0};
           }
           return std::size_t{1};
         }},
        {"velk",
         [](const Text& t) {
           const auto* s =
               reinterpret_cast<const unsigned char*>(t.utf8.data());
           return static_cast<std::size_t>(
               isLegalUTF8Sequence(s, s + t.utf8.size()));
         }}}},
  };
}

// Seconds per conversion, by row name, as measured in this run.
std::map<std::string, double>& Seconds() {
  static std::map<std::string, double> seconds;
  return seconds;
}

// The time of the fastest ICU row of a direction and text (0: none yet).
double BestIcu(const std::string& prefix) {
  double best = 0;
  for (auto it = Seconds().lower_bound(prefix + "icu");
       it != Seconds().end() &&
       it->first.compare(0, prefix.size() + 3, prefix + "icu") == 0;
       ++it) {
    if (best == 0 || it->second < best) best = it->second;
  }
  return best;
}

// The best time of a row so far (0: not measured); "icu" is the fastest
// ICU row.
double Time(const std::string& prefix, const std::string& impl) {
  if (impl == "icu") return BestIcu(prefix);
  const auto it = Seconds().find(prefix + impl);
  return it == Seconds().end() ? 0 : it->second;
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
      const double theirs = Time(prefix, other);
      if (theirs != 0)
        state.counters[std::string("x_") + other] = theirs / best;
    }
  }
}

void PrintSummary(const std::vector<Direction>& directions) {
  std::printf(
      "\n| direction | text | velk MB/s | velk string MB/s | ICU MB/s | iconv "
      "MB/s | memcpy MB/s "
      "| write-only MB/s | velk / ICU | velk / memcpy | velk / write-only |\n"
      "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
  for (const Direction& dir : directions) {
    for (const Text& text : Texts()) {
      const std::string prefix = std::string(dir.name) + "/" + text.name + "/";
      const double velk = Time(prefix, "velk");
      if (velk == 0) continue;  // filtered out
      const double mb = static_cast<double>(dir.inputBytes(text)) / 1e6;
      auto rate = [&](const char* impl) -> std::string {
        const double t = Time(prefix, impl);
        if (t == 0) return "-";
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", mb / t);
        return buf;
      };
      // Ratios of times: above 1 (or 100%) means velk is faster.
      auto ratio = [&](const char* other, double scale,
                       const char* format) -> std::string {
        const double t = Time(prefix, other);
        if (t == 0) return "-";
        char buf[32];
        std::snprintf(buf, sizeof buf, format, scale * t / velk);
        return buf;
      };
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                  dir.name, text.name.c_str(), rate("velk").c_str(),
                  rate("velk_string").c_str(), rate("icu").c_str(),
                  rate("iconv").c_str(), rate("memcpy").c_str(),
                  rate("write").c_str(), ratio("icu", 1, "%.2f").c_str(),
                  ratio("memcpy", 100, "%.0f%%").c_str(),
                  ratio("write", 100, "%.0f%%").c_str());
    }
  }
}

// Our output must be ICU's, byte for byte, before any timing counts.
bool SameAsIcu(const std::vector<Direction>& directions) {
  bool same = true;
  for (const Direction& dir : directions) {
    for (const Text& text : Texts()) {
      std::vector<std::vector<uint32_t>> outputs;
      if (std::strcmp(dir.name, "validate") == 0) {  // every row says legal
        for (const Impl& impl : dir.impls) {
          if (std::strcmp(impl.name, "memcpy") != 0 && impl.run(text) != 1) {
            std::fprintf(stderr, "%s finds %s illegal\n", impl.name,
                         text.name.c_str());
            same = false;
          }
        }
        continue;
      }
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
