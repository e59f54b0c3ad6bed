// ConvertUTF16toUTF32, the buffer form and the wide-string template,
// against the model.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Units = std::vector<unsigned short>;
  const fuzz::Input input(data, size);
  const Units src = input.Units<unsigned short>();
  fuzz::CheckBuffer<unsigned short, unsigned long>(
      input, &ConvertUTF16toUTF32,
      [](const Units& in, bool strict, std::size_t room) {
        return model::Utf16ToUtf32(in, strict, room);
      },
      src, "ConvertUTF16toUTF32 (buffer)");

  // The template keeps what the string held and reports its whole length.
  const auto want = model::Utf16ToUtf32(src, input.strict);
  model::Outcome<unsigned long> got;
  std::wstring target = L"ab";
  const unsigned short* pos = src.data();
  unsigned long length = 0;
  got.code = ConvertUTF16toUTF32<wchar_t, unsigned long>(
      &pos, src.data() + src.size(), target, &length, harness::Flags(input.strict));
  got.consumed = static_cast<std::size_t>(pos - src.data());
  if (target.compare(0, 2, L"ab") != 0 || length != target.size()) got.fault = "string or length";
  if (target.size() >= 2) got.out.assign(target.begin() + 2, target.end());
  fuzz::Same(want, got, false, "ConvertUTF16toUTF32<wchar_t, unsigned long>");
  return 0;
}
