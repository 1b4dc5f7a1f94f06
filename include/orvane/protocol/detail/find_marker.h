#ifndef ORVANE_PROTOCOL_DETAIL_FIND_MARKER_H_
#define ORVANE_PROTOCOL_DETAIL_FIND_MARKER_H_

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane::detail {

// Whether the three-character `marker` stands at `at` of the n characters at p.
inline bool MarkerAt(const char* p, size_t n, size_t at, std::string_view marker) {
  return at + 3 <= n && p[at] == marker[0] && p[at + 1] == marker[1] && p[at + 2] == marker[2];
}

#if defined(__SSE2__)
// The first of the sixteen positions p[base..base+15] at or after `from`
// where `marker` stands, npos when none does. Only the first character is
// compared sixteen at a time: the markers' first characters are rare in
// messages, so the few candidates are checked one by one.
inline size_t MarkerInBlock(const char* p, size_t n, size_t base, size_t from,
                            std::string_view marker) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + base));
  unsigned mask = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(marker[0]))));
  mask &= ~0u << (from - base);
  for (; mask != 0; mask &= mask - 1) {
    const size_t at = base + static_cast<size_t>(__builtin_ctz(mask));
    if (MarkerAt(p, n, at, marker)) return at;
  }
  return std::string_view::npos;
}
#endif

// The index of the first occurrence of the three-character `marker` in
// `text` at or after `from`, npos when there is none. The framing markers
// are searched for in every received message; this looks at sixteen
// characters at a time where the processor allows it.
inline size_t FindMarker(std::string_view text, std::string_view marker, size_t from) {
  const char* const p = text.data();
  const size_t n = text.size();
  size_t i = from;
#if defined(__SSE2__)
  if (n >= 16) {
    for (; i + 16 <= n; i += 16) {
      const size_t at = MarkerInBlock(p, n, i, i, marker);
      if (at != std::string_view::npos) return at;
    }
    // The last characters, in one block that ends where the text ends.
    if (i < n) return MarkerInBlock(p, n, n - 16, i, marker);
    return std::string_view::npos;
  }
#endif
  for (; i < n; ++i) {
    if (MarkerAt(p, n, i, marker)) return i;
  }
  return std::string_view::npos;
}

// Calls on_marker(at) for each occurrence of the three-character `marker` in
// `text` at or after `from`, in order, each one beginning behind the end of
// the one before; stops early when on_marker returns false. One pass over
// the text, however many markers it holds.
template <typename OnMarker>
void ForEachMarker(std::string_view text, std::string_view marker, size_t from,
                   OnMarker&& on_marker) {
  const char* const p = text.data();
  const size_t n = text.size();
  size_t next = from;  // the first position a marker may begin at
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i first = _mm_set1_epi8(marker[0]);
    for (size_t base = from; base < n;) {
      if (base + 16 > n) base = n - 16;
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + base));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, first)));
      for (; mask != 0; mask &= mask - 1) {
        const size_t at = base + static_cast<size_t>(__builtin_ctz(mask));
        if (at < next || !MarkerAt(p, n, at, marker)) continue;
        if (!on_marker(at)) return;
        next = at + marker.size();
      }
      base += 16;
    }
    return;
  }
#endif
  for (size_t at = from; at < n; ++at) {
    if (at < next || !MarkerAt(p, n, at, marker)) continue;
    if (!on_marker(at)) return;
    next = at + marker.size();
  }
}

#if defined(__SSE2__)
// The positions base..base+15 where the three-character marker `a`, and
// those where `b`, begins, as bits; p[base..base+17] must be readable.
inline void MarkersInBlock(const char* p, size_t base, std::string_view a, std::string_view b,
                           unsigned& in_a, unsigned& in_b) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + base));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + base + 1));
  const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + base + 2));
  const auto at = [&](std::string_view marker) {
    const __m128i one = _mm_cmpeq_epi8(first, _mm_set1_epi8(marker[0]));
    const __m128i two = _mm_cmpeq_epi8(second, _mm_set1_epi8(marker[1]));
    const __m128i three = _mm_cmpeq_epi8(third, _mm_set1_epi8(marker[2]));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(one, two), three)));
  };
  in_a = at(a);
  in_b = at(b);
}
#endif

// Calls on_block(base, in_a, in_b) over the positions at or after `from`,
// in order, a block at a time, until it returns false: bit i of in_a (of
// in_b) is set when the three-character marker `a` (`b`) begins at base + i.
// One pass for two markers; every position is in exactly one call. Neither
// marker may be able to overlap itself or the other, so that every
// occurrence counts.
template <typename OnBlock>
void ForEachMarkerBlock(std::string_view text, std::string_view a, std::string_view b,
                        size_t from, OnBlock&& on_block) {
  const char* const p = text.data();
  const size_t n = text.size();
#if defined(__SSE2__)
  if (n >= 18) {
    // A marker begins before n - 2; the last block ends where the text
    // ends, and what it shares with the block before was looked at.
    for (size_t start = from; start + 2 < n; start += 16) {
      const size_t base = start + 18 > n ? n - 18 : start;
      const unsigned keep = ~0u << (start - base);
      unsigned in_a;
      unsigned in_b;
      MarkersInBlock(p, base, a, b, in_a, in_b);
      if (!on_block(base, in_a & keep, in_b & keep)) return;
    }
    return;
  }
#endif
  for (size_t at = from; at + 3 <= n; ++at) {
    if (!on_block(at, MarkerAt(p, n, at, a) ? 1u : 0u, MarkerAt(p, n, at, b) ? 1u : 0u)) return;
  }
}

}  // namespace orvane::detail

#endif  // ORVANE_PROTOCOL_DETAIL_FIND_MARKER_H_
