// ConvertUTF8toUTF16 (both forms), ConvertUTF8toUTF32 and
// isLegalUTF8Sequence against the model.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Bytes = std::vector<unsigned char>;
  const fuzz::Input input(data, size);
  const Bytes src(input.data, input.data + input.size);
  fuzz::CheckBuffer<unsigned char, unsigned short>(
      input, &ConvertUTF8toUTF16,
      [](const Bytes& in, bool strict, std::size_t room) {
        return model::FromUtf8<unsigned short>(in, strict, true, room);
      },
      src, "ConvertUTF8toUTF16 (buffer)");
  fuzz::CheckString<unsigned short, unsigned char, std::basic_string<unsigned short>>(
      input, &ConvertUTF8toUTF16,
      [](const Bytes& in, bool strict, std::size_t) {
        return model::FromUtf8<unsigned short>(in, strict, true);
      },
      src, "ConvertUTF8toUTF16 (string)");
  fuzz::CheckBuffer<unsigned char, unsigned long>(
      input, &ConvertUTF8toUTF32,
      [](const Bytes& in, bool strict, std::size_t room) {
        return model::FromUtf8<unsigned long>(in, strict, false, room);
      },
      src, "ConvertUTF8toUTF32");
  if (isLegalUTF8Sequence(src.data(), src.data() + src.size()) != model::IsLegalUtf8(src)) {
    std::fprintf(stderr, "isLegalUTF8Sequence differs from the model\n");
    std::abort();
  }
  return 0;
}
