// ConvertUTF8toUTF16 (both forms), ConvertUTF8toUTF32 and
// isLegalUTF8Sequence, each path of it, against the model.
#include "fuzz_support.h"
#include "unicode/utf8_validate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const fuzz::Input input(data, size);
  const model::Units src = input.Units(1);
  for (model::RouteId id : {model::k8to16, model::k8to16s, model::k8to32}) {
    fuzz::Check(input, id, src);
  }
  const bool legal = model::IsLegalUtf8(src);
  const auto same = [&](bool got, const char* path) {
    fuzz::Require(got == legal, std::string("isLegalUTF8Sequence (") + path +
                                    ") differs from the model");
  };
  const std::uint8_t* const end = input.data + input.size;
  same(isLegalUTF8Sequence(input.data, end), "exported");
  same(velk::ValidUtf8Portable(input.data, end), "portable");
#if defined(VELK_UTF_SSE2)
  if (velk::HasSsse3()) same(velk::ValidUtf8Ssse3(input.data, end), "ssse3");
  if (velk::HasAvx512()) same(velk::ValidUtf8Avx512(input.data, end), "avx512");
#endif
  return 0;
}
