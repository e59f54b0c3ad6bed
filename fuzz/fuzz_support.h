// What the fuzz targets share: reading a fuzz input as options and code
// units, and stopping loudly when a routine and the model, or a target and
// its rules, disagree.
//
// Input layout: byte 0 holds the options (bit 0: strict; bits 1-7 choose
// the target's room), the rest is the source, little-endian units.
#ifndef VELKCONF_FUZZ_FUZZ_SUPPORT_H_
#define VELKCONF_FUZZ_FUZZ_SUPPORT_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "unicode/simd_vector.h"
#include "unicode/utf_model.h"

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
  model::Units Units(std::size_t width) const {
    model::Units units;
    for (std::size_t i = 0; i + width <= size; i += width) {
      unsigned long v = 0;
      for (std::size_t k = 0; k < width; ++k)
        v |= static_cast<unsigned long>(data[i + k]) << (8 * k);
      units.push_back(v);
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

// Stops the run, loudly, unless ok.
inline void Require(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

inline void Same(const model::Outcome& want, const model::Outcome& got,
                 bool compareChars, const char* what) {
  const std::string why = model::Differences(want, got, compareChars);
  if (why.empty()) return;
  std::fprintf(stderr,
               "%s differs from the model:%s\n  model:   code %X consumed %zu "
               "units %zu chars %zu\n"
               "  routine: code %X consumed %zu units %zu chars %zu\n",
               what, why.c_str(), want.code, want.consumed, want.out.size(),
               want.chars, got.code, got.consumed, got.out.size(), got.chars);
  std::abort();
}

// A routine against its model; a buffer form gets the room the input
// chooses.  Every kernel set the processor has runs in turn: all of
// them, then without AVX-512, then SSE2 alone.
inline void Check(const Input& input, model::RouteId id,
                  const model::Units& src) {
  const model::Route& route = model::kRoutes[id];
  const std::size_t room =
      route.stringForm
          ? model::kNoLimit
          : input.Room(
                route.model(src, input.strict, model::kNoLimit).out.size());
  const model::Outcome want = route.model(src, input.strict, room);
  Same(want, route.run(src, input.strict, room), route.stringForm, route.name);
#if defined(VELK_UTF_SSE2)
  for (const velk::KernelSet set :
       {velk::KernelSet::kSsse3, velk::KernelSet::kSse2}) {
    velk::LimitKernels(set);
    Same(want, route.run(src, input.strict, room), route.stringForm,
         route.name);
  }
  velk::LimitKernels(velk::KernelSet::kAvx512);
#endif
}

}  // namespace fuzz

#endif  // VELKCONF_FUZZ_FUZZ_SUPPORT_H_
