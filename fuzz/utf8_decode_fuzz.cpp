// ConvertUTF8toUTF16 (both forms), ConvertUTF8toUTF32 and
// isLegalUTF8Sequence against the model.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::Input input(data, size);
  const model::Units src = input.Units(1);
  for (model::RouteId id : {model::k8to16, model::k8to16s, model::k8to32}) {
    fuzz::Check(input, id, src);
  }
  if (isLegalUTF8Sequence(input.data, input.data + input.size) != model::IsLegalUtf8(src)) {
    std::fprintf(stderr, "isLegalUTF8Sequence differs from the model\n");
    std::abort();
  }
  return 0;
}
