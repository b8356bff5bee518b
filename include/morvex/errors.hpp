// The error family of the library and the lower-level failures it wraps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex {

// Which of the six error classes an error is; the Python binding maps each
// kind to the class of the same name in morvex.errors.
enum class ErrorKind {
  Morvex,
  InvalidInput,
  Encryption,
  Decryption,
  Signature,
  QuantumOperation,
};

// Root of every failure the library reports itself. Carries the exact
// message and, optionally, the lower-level failure it replaces (the cause).
class MorvexError : public std::exception {
 public:
  explicit MorvexError(std::string message, std::exception_ptr cause = nullptr)
      : MorvexError(ErrorKind::Morvex, std::move(message), std::move(cause)) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::exception_ptr& cause() const noexcept { return cause_; }
  ErrorKind kind() const noexcept { return kind_; }

 protected:
  MorvexError(ErrorKind kind, std::string message, std::exception_ptr cause)
      : kind_(kind), message_(std::move(message)), cause_(std::move(cause)) {}

 private:
  ErrorKind kind_;
  std::string message_;
  std::exception_ptr cause_;
};

#define MORVEX_DEFINE_ERROR(Name, Kind)                                              \
  class Name : public MorvexError {                                                  \
   public:                                                                           \
    explicit Name(std::string message, std::exception_ptr cause = nullptr)           \
        : MorvexError(ErrorKind::Kind, std::move(message), std::move(cause)) {}      \
  };

MORVEX_DEFINE_ERROR(InvalidInputError, InvalidInput)
MORVEX_DEFINE_ERROR(EncryptionError, Encryption)
MORVEX_DEFINE_ERROR(DecryptionError, Decryption)
MORVEX_DEFINE_ERROR(SignatureError, Signature)
MORVEX_DEFINE_ERROR(QuantumOperationError, QuantumOperation)

#undef MORVEX_DEFINE_ERROR

// Lower-level failures. They appear as causes of the errors above, or pass to
// the caller unchanged where an operation does not translate them.

// A text that is not strict Base64 (binascii.Error in Python).
class Base64Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bytes that are not well-formed UTF-8 (UnicodeDecodeError in Python).
// `start` and `end` delimit the offending bytes, `reason` says what is wrong.
class Utf8Error : public std::runtime_error {
 public:
  Utf8Error(std::string reason, std::size_t start, std::size_t end, std::string bad_bytes)
      : std::runtime_error(reason), reason_(std::move(reason)), start_(start), end_(end),
        bad_bytes_(std::move(bad_bytes)) {}
  const std::string& reason() const noexcept { return reason_; }
  std::size_t start() const noexcept { return start_; }
  std::size_t end() const noexcept { return end_; }
  // The offending bytes alone (at most four).
  const std::string& bad_bytes() const noexcept { return bad_bytes_; }

 private:
  std::string reason_;
  std::size_t start_, end_;
  std::string bad_bytes_;
};

// Text holding a character that has no UTF-8 form: a lone surrogate, which
// a host that keeps such characters hands on as its three-byte encoding
// (UnicodeEncodeError in Python). It names the character's position in the
// text (counted in characters) and its code point, never the text itself: a
// password or a plaintext must not end up in a log.
class TextEncodeError : public std::runtime_error {
 public:
  TextEncodeError(std::size_t position, std::uint32_t code_point);
  std::size_t position() const noexcept { return position_; }
  std::uint32_t code_point() const noexcept { return code_point_; }

 private:
  std::size_t position_;
  std::uint32_t code_point_;
};

// A failure reported by a cryptographic library (OpenSSL or Botan); the
// message is that library's own error text (RuntimeError in Python).
class PrimitiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read, written or renamed (OSError in Python,
// with the same errno and file name). The message is the system's text.
class IoError : public std::runtime_error {
 public:
  IoError(int error_number, std::string path);
  int error_number() const noexcept { return error_number_; }
  const std::string& path() const noexcept { return path_; }

 private:
  int error_number_;
  std::string path_;
};

}  // namespace morvex
#pragma GCC visibility pop
