#pragma once
// Zero-filled buffers for grids that are written whole right after they are made.
//
// The memory comes from calloc, which serves a large block as fresh pages from the kernel that
// read as zero without a fill; a small block is cleared by the C library.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <type_traits>

namespace orvex::numeric {

/// `count` values of a trivial type, all bits zero (0.0 for floating point). Throws
/// std::bad_alloc when the memory cannot be had. Move-only; the memory is returned when the owner
/// goes.
template <class T>
class ZeroedArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  ZeroedArray() = default;
  explicit ZeroedArray(std::size_t count) : count_(count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    values_.reset(static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T))));
    if (!values_) throw std::bad_alloc();
  }

  [[nodiscard]] std::span<T> span() { return {values_.get(), count_}; }
  [[nodiscard]] std::span<const T> span() const { return {values_.get(), count_}; }
  [[nodiscard]] T* data() { return values_.get(); }
  [[nodiscard]] const T* data() const { return values_.get(); }
  [[nodiscard]] std::size_t size() const { return count_; }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> values_;
  std::size_t count_ = 0;
};

}  // namespace orvex::numeric
