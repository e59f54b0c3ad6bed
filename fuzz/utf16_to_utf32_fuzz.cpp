// ConvertUTF16toUTF32, the buffer form and the wide-string template,
// against the model.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const fuzz::Input input(data, size);
  const model::Units src = input.Units(2);
  for (model::RouteId id : {model::k16to32, model::k16to32t})
    fuzz::Check(input, id, src);
  return 0;
}
