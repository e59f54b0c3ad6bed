#include "report.h"

#include <cstdint>
#include <cstdio>

namespace {

const std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1,
    0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3,
    0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
    0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotate(std::uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

void Compress(std::uint32_t state[8], const unsigned char block[64]) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 |
           std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 =
        Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 =
        Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t v[8];
  for (int i = 0; i < 8; ++i) v[i] = state[i];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t s1 =
        Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
    const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const std::uint32_t t1 = v[7] + s1 + choice + kRound[i] + w[i];
    const std::uint32_t s0 =
        Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
    const std::uint32_t majority =
        (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    for (int j = 7; j > 0; --j) v[j] = v[j - 1];
    v[4] += t1;
    v[0] = t1 + s0 + majority;
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

std::string Sha256Hex(const std::string& data) {
  std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string tail = data.substr(data.size() - data.size() % 64);
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  tail += '\x80';
  while (tail.size() % 64 != 56) tail += '\0';
  for (int i = 7; i >= 0; --i) tail += static_cast<char>(bits >> (8 * i));
  const std::size_t whole = data.size() - data.size() % 64;
  for (std::size_t at = 0; at < whole; at += 64) {
    Compress(state, reinterpret_cast<const unsigned char*>(data.data() + at));
  }
  for (std::size_t at = 0; at < tail.size(); at += 64) {
    Compress(state, reinterpret_cast<const unsigned char*>(tail.data() + at));
  }
  char hex[65];
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 8 * i, 9, "%08x", state[i]);
  return std::string(hex, 64);
}

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when it
// is ill-formed; then skip receives the length of its ill-formed start
// (at least one byte), which stands for one replacement character.
std::size_t Utf8Sequence(const std::string& text, std::size_t at,
                         std::size_t& skip) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t need = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    skip = 1;
    return 0;
  }
  std::size_t n = 1;
  for (; n <= need && at + n < text.size(); ++n) {
    const unsigned char next = static_cast<unsigned char>(text[at + n]);
    if (next < low || next > high) break;
    low = 0x80;
    high = 0xBF;
  }
  if (n > need) return n;
  skip = n;
  return 0;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const unsigned char u = static_cast<unsigned char>(c);
    std::size_t length = 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7f) {
          char escaped[7];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
          out += escaped;
        } else if (u < 0x80) {
          out += c;
        } else {
          // Text from other programs may be in another encoding: what is
          // not UTF-8 becomes U+FFFD, so that the JSON stays valid.
          std::size_t skip = 1;
          length = Utf8Sequence(text, at, skip);
          if (length == 0) {
            out += "\\ufffd";
            length = skip;
          } else {
            out.append(text, at, length);
          }
        }
    }
    at += length;
  }
  return out + "\"";
}

JsonObject& JsonObject::SetRaw(const std::string& key, std::string encoded) {
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(encoded);
      return *this;
    }
  }
  members_.emplace_back(key, std::move(encoded));
  return *this;
}

JsonObject& JsonObject::Set(const std::string& key, const std::string& value) {
  return SetRaw(key, JsonString(value));
}
JsonObject& JsonObject::Set(const std::string& key, const char* value) {
  return SetRaw(key, JsonString(value));
}
JsonObject& JsonObject::Set(const std::string& key, long long value) {
  return SetRaw(key, std::to_string(value));
}
JsonObject& JsonObject::Set(const std::string& key, bool value) {
  return SetRaw(key, value ? "true" : "false");
}
JsonObject& JsonObject::Set(const std::string& key, const JsonObject& value) {
  return SetRaw(key, value.Text());
}

std::string JsonObject::Text() const {
  std::string out = "{";
  for (const auto& member : members_) {
    if (out.size() > 1) out += ",";
    out += JsonString(member.first) + ":" + member.second;
  }
  return out + "}";
}
