// The received-byte queue: the receive thread puts, the UI thread takes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class CByteFifo {
 public:
  explicit CByteFifo(uint32_t capacity);
  ~CByteFifo();
  CByteFifo(const CByteFifo&) = delete;
  CByteFifo& operator=(const CByteFifo&) = delete;

  bool PutByte(uint8_t byte);  // receive thread only; false when full
  uint8_t GetByte();           // UI thread; 0 when empty
  bool Clear();                // UI thread; discards everything unread
  // Unread bytes; read without the exclusion, so callers test it before GetByte.
  uint32_t Count() const { return m_count.load(std::memory_order_acquire); }
  uint32_t Capacity() const { return m_capacity; }

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  uint32_t m_capacity;
  std::atomic<uint32_t> m_count{0};
};
