// Runs the conversion routines on vectors and returns what they did in the
// model's terms.  Used by the tests and the fuzz targets.
#ifndef VELKCONF_TESTS_UNICODE_UTF_RUNNERS_H_
#define VELKCONF_TESTS_UNICODE_UTF_RUNNERS_H_

#include <string>
#include <vector>

#include "unicode/utf_model.h"
#include "velkconf/convert_utf.h"

namespace harness {

template <typename In, typename Out>
using BufferFn = ConversionResult (*)(const In**, const In*, Out**, Out*,
                                      ConversionFlags);
template <typename In, typename String>
using StringFn = ConversionResult (*)(const In**, const In*, String&,
                                      unsigned long*, ConversionFlags);

inline ConversionFlags Flags(bool strict) {
  return strict ? strictConversion : lenientConversion;
}

// A buffer form with `room` units of target.  Units past the room and past
// what the routine says it wrote must stay untouched; anything amiss is
// described in the outcome's fault.
template <typename In, typename Out>
model::Outcome<Out> Buffer(BufferFn<In, Out> fn, const std::vector<In>& in,
                           bool strict, std::size_t room) {
  const Out kCanary = static_cast<Out>(0xA5A5A5A5A5A5A5A5ull);
  std::vector<Out> buffer(room + 4, kCanary);
  const In* src = in.data();
  Out* dst = buffer.data();
  model::Outcome<Out> r;
  r.code = fn(&src, in.data() + in.size(), &dst, buffer.data() + room, Flags(strict));
  if (src < in.data() || src > in.data() + in.size() || dst < buffer.data() ||
      dst > buffer.data() + room) {
    r.fault = "position out of range";
    return r;
  }
  r.consumed = static_cast<std::size_t>(src - in.data());
  r.out.assign(buffer.data(), dst);
  for (const Out* p = dst; p != buffer.data() + buffer.size(); ++p) {
    if (*p != kCanary) r.fault = "written past the end";
  }
  return r;
}

// A string form appending to a string that already holds two units; they
// must stay in front.
template <typename Out, typename In, typename String>
model::Outcome<Out> Append(StringFn<In, String> fn, const std::vector<In>& in,
                           bool strict) {
  using Char = typename String::value_type;
  String target(2, static_cast<Char>('#'));
  const In* src = in.data();
  unsigned long count = 12345;
  model::Outcome<Out> r;
  r.code = fn(&src, in.data() + in.size(), target, &count, Flags(strict));
  r.consumed = static_cast<std::size_t>(src - in.data());
  if (target.size() < 2 || target.substr(0, 2) != String(2, static_cast<Char>('#'))) {
    r.fault = "earlier contents lost";
    return r;
  }
  r.out.assign(target.begin() + 2, target.end());
  r.chars = count;
  return r;
}

}  // namespace harness

#endif  // VELKCONF_TESTS_UNICODE_UTF_RUNNERS_H_
