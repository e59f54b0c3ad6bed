// The frame every conversion runs in.  Each direction has one core loop
// that converts from run.src into [run.dst, run.dstEnd) and returns why it
// stopped (conversionOK when the source is used up).  The buffer forms run
// it once over the caller's buffer; the string forms run it over a small
// chunk on the stack, append the chunk and go on while the core stopped
// only for room.
#ifndef VELKCONF_UNICODE_CONVERT_RUN_H_
#define VELKCONF_UNICODE_CONVERT_RUN_H_

#include <cstddef>
#include <string>

#include "velkconf/convert_utf.h"

namespace velk {

template <typename In, typename Out>
struct Run {
  const In* src;
  const In* srcEnd;
  Out* dst;
  Out* dstEnd;
  bool strict;
  // Code of the last lenient replacement, kept across chunks.
  ConversionResult replaced;
  // Characters written (a surrogate pair or a replacement is one).
  std::size_t chars;

  // The last step of the scalar path for one character, which reading it
  // found `problem` with (conversionOK: none).  A problem stops a strict
  // core.  Otherwise put(c) writes the character: ch, or `instead` when
  // there is a problem; put returns false, writing nothing, when it does
  // not fit, and the core stops for room.  Returns why the core stops (it
  // then puts its source back where it belongs) or conversionOK when the
  // character is written.
  template <typename Put>
  ConversionResult Settle(ConversionResult problem, unsigned long ch,
                          unsigned long instead, Put put) {
    if (problem != conversionOK) {
      if (strict) return problem;
      ch = instead;
    }
    if (!put(ch)) return targetExhausted;
    ++chars;
    if (problem != conversionOK) replaced = problem;
    return conversionOK;
  }
  // Stores where the core stopped into the caller's run and passes the
  // reason on.  (Cores work on a local copy of the run, which stores
  // through dst cannot alias, so its fields stay in registers.)
  ConversionResult Leave(Run& caller, const In* at, Out* written,
                         ConversionResult stop) {
    src = at;
    dst = written;
    caller = *this;
    return stop;
  }
};

template <typename In, typename Out>
using Core = ConversionResult (*)(Run<In, Out>&);

template <typename In, typename Out>
ConversionResult ConvertBuffer(Core<In, Out> core, const In** sourceStart,
                               const In* sourceEnd, Out** targetStart,
                               Out* targetEnd, ConversionFlags flags) {
  Run<In, Out> run{*sourceStart,
                   sourceEnd,
                   *targetStart,
                   targetEnd,
                   flags == strictConversion,
                   conversionOK,
                   0};
  const ConversionResult stop = core(run);
  *sourceStart = run.src;
  *targetStart = run.dst;
  return stop != conversionOK ? stop : run.replaced;
}

// Appends to target; *count is set to 0 on entry and counts characters.
// reserveUnits is added to the string's length in one reservation up front.
template <typename In, typename Out, typename String>
ConversionResult ConvertString(Core<In, Out> core, const In** sourceStart,
                               const In* sourceEnd, String& target,
                               unsigned long* count, ConversionFlags flags,
                               std::size_t reserveUnits) {
  using Char = typename String::value_type;
  static_assert(sizeof(Char) == sizeof(Out), "chunk units must fit the string");
  // Big enough for any one character, small enough to stay in L1.
  constexpr std::size_t kChunk = 4096 / sizeof(Out);
  *count = 0;
  target.reserve(target.size() + reserveUnits);
  Out chunk[kChunk];
  Run<In, Out> run{
      *sourceStart, sourceEnd, chunk, chunk + kChunk, flags == strictConversion,
      conversionOK, 0};
  ConversionResult stop;
  do {
    run.dst = chunk;
    run.chars = 0;
    stop = core(run);
    target.append(reinterpret_cast<const Char*>(chunk),
                  static_cast<std::size_t>(run.dst - chunk));
    *sourceStart = run.src;
    *count += run.chars;
  } while (stop == targetExhausted);
  return stop != conversionOK ? stop : run.replaced;
}

// The smaller of two counts, none when either is negative: how many units
// a loop may take without testing the ends of source and target.
inline std::ptrdiff_t SafeUnits(std::ptrdiff_t source, std::ptrdiff_t target) {
  const std::ptrdiff_t n = source < target ? source : target;
  return n > 0 ? n : 0;
}

// Number of source units from sourceStart to sourceEnd (0 if reversed).
template <typename In>
std::size_t SourceUnits(const In* sourceStart, const In* sourceEnd) {
  return sourceEnd > sourceStart
             ? static_cast<std::size_t>(sourceEnd - sourceStart)
             : 0;
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_CONVERT_RUN_H_
