#include "host/zeroed_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace orvex::host {

namespace {

constexpr std::uintptr_t kSmallPageBytes = 4096;

std::size_t roundUp(std::size_t value, std::size_t step) {
  if (value > static_cast<std::size_t>(-1) - step) throw std::bad_alloc();
  return (value + step - 1) / step * step;
}

}  // namespace

ZeroedPages::ZeroedPages(std::size_t bytes) : size_(bytes) {
  if (bytes < kHugePageBytes) {
    // Small blocks come from the heap; 64-byte alignment keeps vector loads on one cache line.
    const std::size_t rounded = roundUp(bytes == 0 ? 1 : bytes, 64);
    data_ = std::aligned_alloc(64, rounded);
    if (data_ == nullptr) throw std::bad_alloc();
    std::memset(data_, 0, rounded);
    return;
  }
  // The whole huge pages the buffer needs, plus one to align their start: the unaligned head
  // and the unused tail go straight back.
  const std::size_t length = roundUp(bytes, kHugePageBytes);
  const std::size_t reserve = length + kHugePageBytes;
  void* raw = ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = roundUp(start, kHugePageBytes);
  if (aligned > start) ::munmap(raw, aligned - start);
  const std::size_t tail = reserve - (aligned - start) - length;
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  data_ = reinterpret_cast<void*>(aligned);
  mapped_ = length;
  // Only a hint: a kernel without transparent huge pages refuses it and small pages serve.
  (void)::madvise(data_, mapped_, MADV_HUGEPAGE);
}

void keepFreedHeapMemory() {
#ifdef __GLIBC__
  static std::once_flag once;
  std::call_once(once, [] {
    // Setting either value fixes both: glibc's own adjustment of them stops.
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kKeptHeapBytes));
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kKeptHeapBytes));
    // Each growth of the heap now reaches kKeptHeapBytes beyond the request, so the heap stays
    // one mapping that seldom grows. Grown once here and marked for huge pages, it is faulted in
    // 2 MiB at a time: a fresh page costs some 11 microseconds to fault in on a virtual machine,
    // and a run of the KDE tool touches thousands of them. Only where the heap really grew by
    // that block (not under a sanitizer's allocator, nor when the block came from a mapping of
    // its own) is anything marked.
    ::mallopt(M_TOP_PAD, static_cast<int>(kKeptHeapBytes));
    const auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    void* block = ::malloc(kKeptHeapBytes / 2);
    const auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const auto first = reinterpret_cast<std::uintptr_t>(block);
    if (block != nullptr && first <= before && before < after && first + kKeptHeapBytes / 2 <= after) {
      const std::uintptr_t start = first / kSmallPageBytes * kSmallPageBytes;
      (void)::madvise(reinterpret_cast<void*>(start), after - start, MADV_HUGEPAGE);
    }
    ::free(block);
  });
#endif
}

ZeroedPages::~ZeroedPages() { release(); }

ZeroedPages::ZeroedPages(ZeroedPages&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

ZeroedPages& ZeroedPages::operator=(ZeroedPages&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void ZeroedPages::release() noexcept {
  if (data_ == nullptr) return;
  if (mapped_ != 0) {
    ::munmap(data_, mapped_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

}  // namespace orvex::host
