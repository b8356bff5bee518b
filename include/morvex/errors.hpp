// The errors of the library: one root, `Error`, for every failure a morvex
// function throws; below it the six error classes rooted at MorvexError and
// the lower-level failures they wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex {

// What an Error is: one kind per class below. The first six are the error
// classes (MorvexError and its five subclasses), the rest the lower-level
// failures. The Python binding maps each kind to a Python class.
enum class ErrorKind {
  Morvex,
  InvalidInput,
  Encryption,
  Decryption,
  Signature,
  QuantumOperation,
  Base64,           // Base64Error
  Utf8,             // Utf8Error
  TextEncode,       // TextEncodeError
  Primitive,        // PrimitiveError
  Io,               // IoError
  InvalidArgument,  // InvalidArgumentError
  OutOfRange,       // OutOfRangeError
  State,            // StateError
};

// Root of every failure the library throws. Carries its kind, the exact
// message and, optionally, the lower-level failure it replaces (the cause).
//
//   try { ... } catch (const morvex::Error& e) { log(e.kind(), e.what()); }
class Error : public std::exception {
 public:
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::exception_ptr& cause() const noexcept { return cause_; }
  ErrorKind kind() const noexcept { return kind_; }

 protected:
  Error(ErrorKind kind, std::string message, std::exception_ptr cause = nullptr)
      : kind_(kind), message_(std::move(message)), cause_(std::move(cause)) {}

 private:
  ErrorKind kind_;
  std::string message_;
  std::exception_ptr cause_;
};

// Root of the six error classes: every failure the library reports in its
// own words. Catching it catches the five subclasses below.
class MorvexError : public Error {
 public:
  explicit MorvexError(std::string message, std::exception_ptr cause = nullptr)
      : Error(ErrorKind::Morvex, std::move(message), std::move(cause)) {}

 protected:
  MorvexError(ErrorKind kind, std::string message, std::exception_ptr cause)
      : Error(kind, std::move(message), std::move(cause)) {}
};

#define MORVEX_DEFINE_ERROR(Name, Base, Kind)                                        \
  class Name : public Base {                                                         \
   public:                                                                           \
    explicit Name(std::string message, std::exception_ptr cause = nullptr)           \
        : Base(ErrorKind::Kind, std::move(message), std::move(cause)) {}             \
  };

MORVEX_DEFINE_ERROR(InvalidInputError, MorvexError, InvalidInput)
MORVEX_DEFINE_ERROR(EncryptionError, MorvexError, Encryption)
MORVEX_DEFINE_ERROR(DecryptionError, MorvexError, Decryption)
MORVEX_DEFINE_ERROR(SignatureError, MorvexError, Signature)
MORVEX_DEFINE_ERROR(QuantumOperationError, MorvexError, QuantumOperation)

// Lower-level failures. They appear as causes of the errors above, or pass to
// the caller unchanged where an operation does not translate them.

// A text that is not strict Base64.
MORVEX_DEFINE_ERROR(Base64Error, Error, Base64)

// A failure reported by a cryptographic library (OpenSSL or Botan); the
// message is that library's own error text.
MORVEX_DEFINE_ERROR(PrimitiveError, Error, Primitive)

// An argument outside what the function takes: an integer that names no
// member of an enumeration, a count below its minimum, a buffer of the wrong
// size. Not derived from InvalidArgumentError: catch it as itself or as Error.
MORVEX_DEFINE_ERROR(InvalidArgumentError, Error, InvalidArgument)

// An index outside its table: a strength byte or index outside 0..2. Not
// derived from OutOfRangeError: catch it as itself or as Error.
MORVEX_DEFINE_ERROR(OutOfRangeError, Error, OutOfRange)

// A call on an object that can no longer take it: a pending file written or
// committed after it was closed.
MORVEX_DEFINE_ERROR(StateError, Error, State)

#undef MORVEX_DEFINE_ERROR

// Bytes that are not well-formed UTF-8. `start` and `end` delimit the
// offending bytes, `fault` says what is wrong with them.
class Utf8Error : public Error {
 public:
  enum class Fault {
    InvalidStart,         // the byte at `start` begins no sequence
    InvalidContinuation,  // the byte at `end` does not continue the sequence
    Truncated,            // the data ends inside the sequence
  };
  Utf8Error(Fault fault, std::size_t start, std::size_t end, std::string bad_bytes);
  Fault fault() const noexcept { return fault_; }
  std::size_t start() const noexcept { return start_; }
  std::size_t end() const noexcept { return end_; }
  // The offending bytes alone (at most four).
  const std::string& bad_bytes() const noexcept { return bad_bytes_; }

 private:
  Fault fault_;
  std::size_t start_, end_;
  std::string bad_bytes_;
};

// Text holding characters that the encoding it must go into cannot write:
// for "utf-8", a lone surrogate, which a host that keeps such characters
// hands on as its three-byte encoding; for "ascii" (the PEM readers), a run
// of characters outside ASCII. It names the encoding, the run's position in
// the text (counted in characters), its length and its first code point,
// never the text itself: a password or a plaintext must not end up in a log.
class TextEncodeError : public Error {
 public:
  TextEncodeError(std::size_t position, std::uint32_t code_point, const char* encoding = "utf-8",
                  std::size_t count = 1);
  std::size_t position() const noexcept { return position_; }
  std::uint32_t code_point() const noexcept { return code_point_; }
  // "utf-8" or "ascii".
  const char* encoding() const noexcept { return encoding_; }
  // Characters in the run, from `position` on (at least one).
  std::size_t count() const noexcept { return count_; }

 private:
  std::size_t position_;
  std::uint32_t code_point_;
  const char* encoding_;
  std::size_t count_;
};

// A file that cannot be opened, read, written or renamed; the message is the
// system's text for the errno.
class IoError : public Error {
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
