#include "detail/slab.h"

#include <cstdlib>
#include <iterator>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvane::detail {

namespace {

size_t whole_lines(size_t bytes) { return (bytes + Slab::kLine - 1) / Slab::kLine * Slab::kLine; }

}  // namespace

Slab::Slab(size_t block_bytes)
    : m_block(whole_lines(block_bytes < sizeof(FreeBlock) ? sizeof(FreeBlock) : block_bytes)) {}

Slab::~Slab() {
  for (void* chunk : m_chunks) std::free(chunk);
}

void* Slab::Allocate() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_free != nullptr) {
    FreeBlock* block = m_free;
    m_free = block->next;
    return block;
  }
  if (m_next == nullptr || static_cast<size_t>(m_end - m_next) < m_block) NewChunk();
  void* block = m_next;
  m_next += m_block;
  return block;
}

void Slab::Free(void* block) {
  if (block == nullptr) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_free = new (block) FreeBlock{m_free};
}

void Slab::NewChunk() {
  m_chunks.reserve(m_chunks.size() + 1);  // so that a chunk taken is always listed
  void* chunk = std::aligned_alloc(kChunk, kChunk);
  if (chunk == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  madvise(chunk, kChunk, MADV_HUGEPAGE);  // only a hint: small pages serve as well
#endif
  m_chunks.push_back(chunk);
  m_next = static_cast<char*>(chunk);
  m_end = m_next + kChunk;
}

Slab* SlabFor(size_t bytes) {
  if (bytes > kMaxSlabBytes) return nullptr;
  static Slab* const slabs[] = {new Slab(1 * Slab::kLine), new Slab(2 * Slab::kLine),
                                new Slab(3 * Slab::kLine), new Slab(4 * Slab::kLine),
                                new Slab(5 * Slab::kLine), new Slab(6 * Slab::kLine),
                                new Slab(7 * Slab::kLine), new Slab(8 * Slab::kLine)};
  static_assert(std::size(slabs) * Slab::kLine == kMaxSlabBytes);
  return slabs[bytes == 0 ? 0 : (bytes - 1) / Slab::kLine];
}

}  // namespace orvane::detail
