// Constant tables shared by the conversion routines.
#ifndef VELKCONF_UNICODE_UTF_TABLES_H_
#define VELKCONF_UNICODE_UTF_TABLES_H_

namespace velk {

const unsigned long kReplacementChar = 0xFFFD;
const unsigned long kSurHighStart = 0xD800;
const unsigned long kSurHighEnd = 0xDBFF;
const unsigned long kSurLowStart = 0xDC00;
const unsigned long kSurLowEnd = 0xDFFF;

// Lead-byte marks indexed by sequence length (index 0 unused).
extern const unsigned char firstByteMark[7];

inline bool IsHighSurrogate(unsigned long u) {
  return u >= kSurHighStart && u <= kSurHighEnd;
}
inline bool IsLowSurrogate(unsigned long u) {
  return u >= kSurLowStart && u <= kSurLowEnd;
}
inline bool IsNonCharacter(unsigned long u) { return u == 0xFFFE || u == 0xFFFF; }

// Writes the UTF-8 sequence of value, length bytes long, backwards from
// out + length.
inline void WriteUtf8(unsigned long value, int length, unsigned char* out) {
  unsigned char* p = out + length;
  switch (length) {
    case 6: *--p = static_cast<unsigned char>((value | 0x80) & 0xBF); value >>= 6; [[fallthrough]];
    case 5: *--p = static_cast<unsigned char>((value | 0x80) & 0xBF); value >>= 6; [[fallthrough]];
    case 4: *--p = static_cast<unsigned char>((value | 0x80) & 0xBF); value >>= 6; [[fallthrough]];
    case 3: *--p = static_cast<unsigned char>((value | 0x80) & 0xBF); value >>= 6; [[fallthrough]];
    case 2: *--p = static_cast<unsigned char>((value | 0x80) & 0xBF); value >>= 6; [[fallthrough]];
    case 1: *--p = static_cast<unsigned char>(value | firstByteMark[length]);
  }
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF_TABLES_H_
