// ConvertUTF32toUTF16 and ConvertUTF32toUTF8, both forms, against the
// model.  Units are read four bytes each; a unit whose top nibble is F is
// shifted up by a byte so that values beyond 32 bits come up too.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Wide = std::vector<unsigned long>;
  const fuzz::Input input(data, size);
  Wide src = input.Units<unsigned long>(4);
  for (unsigned long& v : src) {
    if ((v >> 28) == 0xF) v <<= 8;
  }
  fuzz::CheckBuffer<unsigned long, unsigned short>(
      input, &ConvertUTF32toUTF16,
      [](const Wide& in, bool strict, std::size_t room) {
        return model::FromUtf32<unsigned short>(in, strict, false, false, room);
      },
      src, "ConvertUTF32toUTF16 (buffer)");
  fuzz::CheckString<unsigned short, unsigned long, std::basic_string<unsigned short>>(
      input, &ConvertUTF32toUTF16,
      [](const Wide& in, bool strict, std::size_t) {
        return model::FromUtf32<unsigned short>(in, strict, false, true);
      },
      src, "ConvertUTF32toUTF16 (string)");
  fuzz::CheckBuffer<unsigned long, unsigned char>(
      input, &ConvertUTF32toUTF8,
      [](const Wide& in, bool strict, std::size_t room) {
        return model::FromUtf32<unsigned char>(in, strict, true, false, room);
      },
      src, "ConvertUTF32toUTF8 (buffer)");
  fuzz::CheckString<unsigned char, unsigned long, std::string>(
      input, &ConvertUTF32toUTF8,
      [](const Wide& in, bool strict, std::size_t) {
        return model::FromUtf32<unsigned char>(in, strict, true, true);
      },
      src, "ConvertUTF32toUTF8 (string)");
  return 0;
}
