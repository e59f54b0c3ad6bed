// What the fuzz targets share: reading a fuzz input as options and code
// units, and stopping loudly when a routine and the model disagree.
//
// Input layout: byte 0 holds the options (bit 0: strict; bits 1-7 choose
// the target's room), the rest is the source, little-endian units.
#ifndef VELKCONF_FUZZ_FUZZ_SUPPORT_H_
#define VELKCONF_FUZZ_FUZZ_SUPPORT_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "unicode/utf_runners.h"

namespace fuzz {

struct Input {
  bool strict = false;
  unsigned roomChoice = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;

  Input(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    strict = (bytes[0] & 1) != 0;
    roomChoice = bytes[0] >> 1;
    data = bytes + 1;
    size = n - 1;
  }

  // The source as units of `width` bytes (a shorter tail is dropped).
  template <typename Unit>
  std::vector<Unit> Units(std::size_t width = sizeof(Unit)) const {
    std::vector<Unit> units;
    for (std::size_t i = 0; i + width <= size; i += width) {
      std::uint64_t v = 0;
      for (std::size_t k = 0; k < width; ++k) v |= std::uint64_t{data[i + k]} << (8 * k);
      units.push_back(static_cast<Unit>(v));
    }
    return units;
  }

  // A target size derived from what the whole output needs: mostly too
  // small or exactly enough, which is where the room rules bite.
  std::size_t Room(std::size_t needed) const {
    if (roomChoice >= 64) return needed + (roomChoice & 3);
    return roomChoice % (needed + 1);
  }
};

template <typename Out>
void Same(const model::Outcome<Out>& want, const model::Outcome<Out>& got,
          bool compareChars, const char* what) {
  std::string why = got.fault;
  if (want.code != got.code) why += " code";
  if (want.consumed != got.consumed) why += " consumed";
  if (want.out != got.out) why += " output";
  if (compareChars && want.chars != got.chars) why += " count";
  if (why.empty()) return;
  std::fprintf(stderr,
               "%s differs from the model:%s\n  model:   code %X consumed %zu units %zu chars %zu\n"
               "  routine: code %X consumed %zu units %zu chars %zu\n",
               what, why.c_str(), want.code, want.consumed, want.out.size(), want.chars,
               got.code, got.consumed, got.out.size(), got.chars);
  std::abort();
}

// A buffer form against its model, with the room the input chooses.
template <typename In, typename Out, typename Model>
void CheckBuffer(const Input& input, harness::BufferFn<In, Out> fn, Model model,
                 const std::vector<In>& src, const char* what) {
  const std::size_t room = input.Room(model(src, input.strict, model::kNoLimit).out.size());
  Same(model(src, input.strict, room), harness::Buffer(fn, src, input.strict, room), false, what);
}

// A string form against its model.
template <typename Out, typename In, typename String, typename Model>
void CheckString(const Input& input, harness::StringFn<In, String> fn, Model model,
                 const std::vector<In>& src, const char* what) {
  Same(model(src, input.strict, model::kNoLimit),
       harness::Append<Out>(fn, src, input.strict), true, what);
}

}  // namespace fuzz

#endif  // VELKCONF_FUZZ_FUZZ_SUPPORT_H_
