// The UTF-8 validator.
#include "unicode/utf_tables.h"
#include "velkconf/convert_utf.h"

bool isLegalUTF8Sequence(const unsigned char* source,
                         const unsigned char* sourceEnd) {
  while (source < sourceEnd) {
    const int extra = velk::trailingBytesForUTF8[*source];
    unsigned long ch;
    if (sourceEnd - source <= extra || !velk::DecodeUtf8(source, extra, ch)) {
      return false;
    }
    source += extra + 1;
  }
  return true;
}
