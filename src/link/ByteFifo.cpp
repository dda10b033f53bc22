#include "link/ByteFifo.h"

#include <mutex>
#include <vector>

// One mutex keeps PutByte, GetByte and Clear apart.  A blocked side sleeps in
// the mutex instead of spinning, and no side ever holds it for more than a few
// instructions, so the receive thread is never held up by the UI thread.
struct CByteFifo::Impl {
  std::mutex mutex;
  std::vector<uint8_t> storage;
  uint32_t writePos = 0;
  uint32_t readPos = 0;
};

CByteFifo::CByteFifo(uint32_t capacity) : m_impl(std::make_unique<Impl>()), m_capacity(capacity) {
  m_impl->storage.assign(static_cast<size_t>(capacity) + 1, 0);
}

CByteFifo::~CByteFifo() = default;

bool CByteFifo::PutByte(uint8_t byte) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  const uint32_t count = m_count.load(std::memory_order_relaxed);
  // One position always stays free; a queue of capacity 0 or 1 holds nothing
  // (and must not, or the cursor arithmetic below would wrap past the storage).
  if (m_capacity < 2 || count >= m_capacity - 1) return false;
  m_impl->storage[m_impl->writePos] = byte;
  if (++m_impl->writePos == m_capacity) m_impl->writePos = 0;
  m_count.store(count + 1, std::memory_order_release);
  return true;
}

uint8_t CByteFifo::GetByte() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  const uint32_t count = m_count.load(std::memory_order_relaxed);
  if (count == 0) return 0;
  const uint8_t byte = m_impl->storage[m_impl->readPos];
  if (++m_impl->readPos == m_capacity) m_impl->readPos = 0;
  m_count.store(m_impl->readPos == m_impl->writePos ? 0 : count - 1, std::memory_order_release);
  return byte;
}

bool CByteFifo::Clear() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->readPos = 0;
  m_impl->writePos = 0;
  m_count.store(0, std::memory_order_release);
  return true;
}
