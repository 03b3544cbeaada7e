#pragma once
// Large zero-filled buffers on fresh pages.
//
// A grid of tens of megabytes is written whole right after it is allocated. Zero-filling it
// first (calloc on reused memory) or faulting it in 4 KiB page by page (one trap per page, and a
// trap is dear in a virtual machine) costs more than computing it. A buffer of at least
// kHugePageBytes therefore comes straight from the kernel: fresh anonymous pages read as zero
// without being written, and the mapping is 2 MiB-aligned and marked for transparent huge
// pages, so one fault maps 2 MiB where the system allows it. Where it does not, the hint is
// ignored and the buffer behaves the same on small pages.

#include <cstddef>
#include <new>
#include <span>
#include <type_traits>

namespace orvex::host {

/// Size and alignment of a huge page on x86-64.
inline constexpr std::size_t kHugePageBytes = std::size_t{1} << 21;

/// `bytes` zero bytes, aligned to at least 64 bytes. Throws std::bad_alloc when the memory
/// cannot be had. Move-only; the memory is returned when the owner goes.
class ZeroedPages {
 public:
  ZeroedPages() = default;
  explicit ZeroedPages(std::size_t bytes);
  ~ZeroedPages();
  ZeroedPages(ZeroedPages&& other) noexcept;
  ZeroedPages& operator=(ZeroedPages&& other) noexcept;
  ZeroedPages(const ZeroedPages&) = delete;
  ZeroedPages& operator=(const ZeroedPages&) = delete;

  [[nodiscard]] void* data() const { return data_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  /// True when the buffer is a kernel mapping marked for huge pages (large requests only).
  [[nodiscard]] bool mapped() const { return mapped_ != 0; }

 private:
  void release() noexcept;
  void* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  ///< length of the kernel mapping; 0 for a small heap block
};

/// Asks the C library to keep freed heap memory for reuse rather than hand it back to the kernel
/// at once. Writers that allocate and free many blocks (a GeoTIFF strip per row, flushed a few
/// hundred rows at a time) otherwise give the heap back after each batch and fault it in again
/// 4 KiB at a time for the next. Up to kKeptHeapBytes stay with the process; allocations up to
/// that size come from the heap, which is grown ahead of need and marked for huge pages.
/// Process-wide and idempotent; a no-op outside glibc.
inline constexpr std::size_t kKeptHeapBytes = std::size_t{32} << 20;
void keepFreedHeapMemory();

/// `count` values of a trivial type, all bits zero (0.0 for floating point).
template <class T>
class ZeroedArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  ZeroedArray() = default;
  explicit ZeroedArray(std::size_t count) : pages_(checkedBytes(count)), count_(count) {}

  [[nodiscard]] std::span<T> span() { return {static_cast<T*>(pages_.data()), count_}; }
  [[nodiscard]] std::span<const T> span() const { return {static_cast<const T*>(pages_.data()), count_}; }
  [[nodiscard]] T* data() { return static_cast<T*>(pages_.data()); }
  [[nodiscard]] const T* data() const { return static_cast<const T*>(pages_.data()); }
  [[nodiscard]] std::size_t size() const { return count_; }

 private:
  static std::size_t checkedBytes(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return count * sizeof(T);
  }
  ZeroedPages pages_;
  std::size_t count_ = 0;
};

}  // namespace orvex::host
