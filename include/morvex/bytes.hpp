// Byte buffers: owned results, and wiping containers for secrets.
//
// Thread safety: these are ordinary values and containers: concurrent reads of
// one object are safe, a write while another thread reads it is a data race.
// Ownership: SecureBytes, SecureString and SecretArray own their storage and
// wipe it when they release it; ByteView borrows and must not outlive what it
// views.
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

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

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

// Wiping and plain byte vectors compare by content, and so do wiping and
// plain strings.
template <class A, class B>
  requires(!std::is_same_v<A, B>)
bool operator==(const std::vector<std::uint8_t, A>& a, const std::vector<std::uint8_t, B>& b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
template <class A, class B>
  requires(!std::is_same_v<A, B>)
bool operator==(const std::basic_string<char, std::char_traits<char>, A>& a,
                const std::basic_string<char, std::char_traits<char>, B>& b) noexcept {
  return std::string_view(a) == std::string_view(b);
}
}  // namespace detail

// A byte vector whose storage is wiped when released (keys, shared secrets,
// session keys, derived keys, decrypted data).
using SecureBytes = std::vector<std::uint8_t, detail::WipingAllocator<std::uint8_t>>;

// Text whose storage is wiped when released (decrypted texts, private key
// texts). It reads like std::string and converts to std::string_view. A
// string keeps a short text in its own inline buffer, which the allocator
// never sees and so never wipes: every SecureString that morvex returns
// holds its text on the heap whatever its length (see to_secure_string). A
// copy the caller makes, or shrink_to_fit, may bring a short text back
// inline.
using SecureString = std::basic_string<char, std::char_traits<char>, detail::WipingAllocator<char>>;

namespace detail {
// An empty SecureString with room for `n` characters on the heap: at least
// one more than its inline buffer holds.
inline SecureString heap_string(std::size_t n) {
  SecureString s;
  s.reserve(std::max(n, s.capacity() + 1));
  return s;
}
}  // namespace detail

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
// A wiping string holding `text`, on the heap whatever its length.
inline SecureString to_secure_string(std::string_view text) {
  SecureString s = detail::heap_string(text.size());
  s.assign(text);
  return s;
}
// The bytes as text, in the same kind of owner: Bytes give a std::string,
// SecureBytes a SecureString.
template <class Alloc>
auto to_string(const std::vector<std::uint8_t, Alloc>& b) {
  const std::string_view text(reinterpret_cast<const char*>(b.data()), b.size());
  if constexpr (std::is_same_v<Alloc, detail::WipingAllocator<std::uint8_t>>) return to_secure_string(text);
  else return std::string(text);
}

}  // namespace morvex
#pragma GCC visibility pop
