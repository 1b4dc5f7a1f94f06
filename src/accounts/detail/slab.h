#ifndef ORVANE_SRC_ACCOUNTS_DETAIL_SLAB_H_
#define ORVANE_SRC_ACCOUNTS_DETAIL_SLAB_H_

#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

namespace orvane::detail {

// Blocks of one size carved from 2 MiB chunks, each of which the kernel may
// back with one huge page. The objects the price walk visits for every
// holder of a quoted symbol (its position figures and its summaries) live
// here, side by side, rather than spread over the whole heap among objects
// the walk never reads: a tick then touches far fewer pages and lines.
//
// Thread-safe. A freed block is handed out again; the chunks go back to the
// system only with the slab (the process's slabs stay).
class Slab {
 public:
  static constexpr size_t kLine = 64;
  static constexpr size_t kChunk = size_t{2} << 20;

  // `block_bytes` is rounded up to whole lines, so every block starts on a
  // line.
  explicit Slab(size_t block_bytes);
  // Returns the chunks: every block goes with them.
  ~Slab();
  Slab(const Slab&) = delete;
  Slab& operator=(const Slab&) = delete;

  void* Allocate();
  void Free(void* block);
  size_t BlockBytes() const { return m_block; }

 private:
  struct FreeBlock {
    FreeBlock* next;
  };
  void NewChunk();

  std::mutex m_mutex;
  const size_t m_block;
  FreeBlock* m_free = nullptr;
  char* m_next = nullptr;  // the unused part of the newest chunk
  char* m_end = nullptr;
  std::vector<void*> m_chunks;
};

// The process's slab for blocks of up to `bytes` (rounded up to whole
// lines), or none when `bytes` is past kMaxSlabBytes. Never destroyed, so
// objects released at exit still find it.
inline constexpr size_t kMaxSlabBytes = 8 * Slab::kLine;
Slab* SlabFor(size_t bytes);

// Takes what fits from the slab of its size (a shared object with its
// count, as allocate_shared asks for it, or a short array) and the rest from
// the heap.
template <class T>
struct SlabAllocator {
  using value_type = T;

  SlabAllocator() = default;
  template <class U>
  SlabAllocator(const SlabAllocator<U>&) {}  // NOLINT: rebinding converts implicitly

  T* allocate(size_t n) {
    static_assert(alignof(T) <= Slab::kLine);
    if (Slab* slab = SlabFor(n * sizeof(T))) return static_cast<T*>(slab->Allocate());
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) {
    if (Slab* slab = SlabFor(n * sizeof(T))) {
      slab->Free(p);
    } else {
      ::operator delete(p);
    }
  }
  template <class U>
  bool operator==(const SlabAllocator<U>&) const {
    return true;
  }
};

}  // namespace orvane::detail

#endif  // ORVANE_SRC_ACCOUNTS_DETAIL_SLAB_H_
