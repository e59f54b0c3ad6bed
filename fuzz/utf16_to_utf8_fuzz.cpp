// ConvertUTF16toUTF8, both forms, against the model.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::Input input(data, size);
  const auto src = input.Units<unsigned short>();
  fuzz::CheckBuffer<unsigned short, unsigned char>(
      input, &ConvertUTF16toUTF8,
      [](const std::vector<unsigned short>& in, bool strict, std::size_t room) {
        return model::Utf16ToUtf8(in, strict, false, room);
      },
      src, "ConvertUTF16toUTF8 (buffer)");
  fuzz::CheckString<unsigned char, unsigned short, std::string>(
      input, &ConvertUTF16toUTF8,
      [](const std::vector<unsigned short>& in, bool strict, std::size_t) {
        return model::Utf16ToUtf8(in, strict, true);
      },
      src, "ConvertUTF16toUTF8 (string)");
  return 0;
}
