// ConvertUTF32toUTF16 and ConvertUTF32toUTF8, both forms, against the
// model.  Units are read four bytes each; a unit whose top nibble is F is
// shifted up by a byte so that values beyond 32 bits come up too.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const fuzz::Input input(data, size);
  model::Units src = input.Units(4);
  for (unsigned long& v : src) {
    if ((v >> 28) == 0xF) v <<= 8;
  }
  for (model::RouteId id :
       {model::k32to16, model::k32to16s, model::k32to8, model::k32to8s}) {
    fuzz::Check(input, id, src);
  }
  return 0;
}
