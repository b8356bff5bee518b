// Byte buffers: owned results, and wiping containers for secrets.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace morvex {

using ByteView = std::span<const std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

// Overwrites memory in a way the compiler may not elide.
void secure_wipe(void* p, std::size_t n) noexcept;

namespace detail {
template <class T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() noexcept = default;
  template <class U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    secure_wipe(p, n * sizeof(T));
    std::allocator<T>{}.deallocate(p, n);
  }
  template <class U>
  bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

// Wiping and plain byte vectors compare by content.
template <class A, class B>
  requires(!std::is_same_v<A, B>)
bool operator==(const std::vector<std::uint8_t, A>& a, const std::vector<std::uint8_t, B>& b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
}  // namespace detail

// A byte vector whose storage is wiped when released (keys, shared secrets,
// session keys, derived keys).
using SecureBytes = std::vector<std::uint8_t, detail::WipingAllocator<std::uint8_t>>;

// A fixed-size secret that wipes itself when it goes out of scope.
template <std::size_t N>
class SecretArray {
 public:
  SecretArray() noexcept = default;
  SecretArray(const SecretArray&) = default;
  SecretArray& operator=(const SecretArray&) = default;
  ~SecretArray() { secure_wipe(data_.data(), N); }
  std::uint8_t* data() noexcept { return data_.data(); }
  const std::uint8_t* data() const noexcept { return data_.data(); }
  static constexpr std::size_t size() noexcept { return N; }
  std::span<std::uint8_t, N> span() noexcept { return data_; }
  std::span<const std::uint8_t, N> span() const noexcept { return data_; }
  std::uint8_t& operator[](std::size_t i) noexcept { return data_[i]; }
  const std::uint8_t& operator[](std::size_t i) const noexcept { return data_[i]; }

 private:
  std::array<std::uint8_t, N> data_{};
};

inline ByteView as_bytes(std::string_view s) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
template <class Alloc>
inline std::string to_string(const std::vector<std::uint8_t, Alloc>& b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace morvex
