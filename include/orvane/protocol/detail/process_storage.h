#ifndef ORVANE_PROTOCOL_DETAIL_PROCESS_STORAGE_H_
#define ORVANE_PROTOCOL_DETAIL_PROCESS_STORAGE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Storage of a CProcess that keeps a typical message inside the process
// object itself, so that receiving one costs one allocation.
namespace orvane::detail {

// A message text: up to kInline characters inside the object, longer texts
// in a string of their own.
template <size_t kInline>
class InlineText {
 public:
  InlineText() = default;
  InlineText(const InlineText&) = delete;
  InlineText& operator=(const InlineText&) = delete;

  std::string_view view() const {
    return {m_long_text ? m_long.data() : m_inline.data(), m_size};
  }
  size_t size() const { return m_size; }
  // Empty, keeping the storage of a long text.
  void clear() {
    m_size = 0;
    m_long_text = false;
  }

  // `text` must not lie inside this object's storage (see Holds).
  void assign(std::string_view text) {
    if (text.size() <= kInline) {
      CopyShort(m_inline.data(), text.data(), text.size());
      m_long_text = false;
    } else {
      m_long.assign(text);
      m_long_text = true;
    }
    m_size = text.size();
  }
  // Takes a long text over without copying it.
  void assign(std::string&& text) {
    if (text.size() <= kInline) {
      assign(std::string_view(text));
      return;
    }
    m_long = std::move(text);
    m_long_text = true;
    m_size = m_long.size();
  }

  // Whether `text` points into storage this object may overwrite.
  bool Holds(std::string_view text) const {
    return Within(text, m_inline.data(), kInline) ||
           Within(text, m_long.data(), m_long.capacity());
  }

 private:
  // Copies n characters in blocks of fixed size (the last ones overlapping),
  // which for a message's length is quicker than a call to memcpy.
  static void CopyShort(char* to, const char* from, size_t n) {
    if (n >= 16) {
      for (size_t i = 0; i + 16 < n; i += 16) std::memcpy(to + i, from + i, 16);
      std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
      std::memcpy(to, from, 8);
      std::memcpy(to + n - 8, from + n - 8, 8);
    } else {
      for (size_t i = 0; i < n; ++i) to[i] = from[i];
    }
  }
  static bool Within(std::string_view text, const char* begin, size_t size) {
    const auto at = reinterpret_cast<uintptr_t>(text.data());
    const auto first = reinterpret_cast<uintptr_t>(begin);
    return at >= first && at <= first + size;
  }

  size_t m_size = 0;
  bool m_long_text = false;
  std::array<char, kInline> m_inline;
  std::string m_long;
};

// Where each parameter stands in a text: the first kInline inside the
// object, any further ones in a vector.
template <size_t kInline>
class ParameterSpans {
 public:
  struct Span {
    uint32_t begin;
    uint32_t length;
  };

  size_t size() const { return m_count; }
  void clear() {
    m_count = 0;
    m_more.clear();
  }
  void push_back(Span span) {
    if (m_count < kInline) {
      m_slots[m_active][m_count] = span;
    } else {
      m_more.push_back(span);
    }
    ++m_count;
  }
  // Inline slots apart from the spans, for a reader that fills them before
  // it knows whether it keeps what it read; Commit makes their first `count`
  // (at most kInline) the spans, and anything else leaves the spans as they
  // were.
  std::array<Span, kInline>& Staging() { return m_slots[1 - m_active]; }
  void Commit(size_t count) {
    m_active = 1 - m_active;
    m_more.clear();
    m_count = count;
  }
  Span operator[](size_t i) const {
    return i < kInline ? m_slots[m_active][i] : m_more[i - kInline];
  }

 private:
  size_t m_count = 0;
  size_t m_active = 0;
  std::array<std::array<Span, kInline>, 2> m_slots;
  std::vector<Span> m_more;
};

}  // namespace orvane::detail

#endif  // ORVANE_PROTOCOL_DETAIL_PROCESS_STORAGE_H_
