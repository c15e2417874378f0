#pragma once
// The run-time exception family and small text helpers.
//
// Every unexpected failure in the plug-in is an Exception carrying a message
// text. Host entry points catch Exception (and anything else) and show the
// message in a box; nothing ever crosses into the host.

#include <cstdarg>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const { return FMessage; }

private:
  std::string FMessage;
};

class EOutOfMemory : public Exception {
public:
  EOutOfMemory() : Exception("Out of memory") {}
};

class EInvalidOperation : public Exception {
public:
  using Exception::Exception;
};

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// ASCII upper case: only a..z change.
std::string UpperCaseAscii(const std::string& s);
// Case-insensitive comparison over ASCII letters.
bool SameTextAscii(const std::string& a, const std::string& b);

// Whole-string decimal integer parse: true only when s is non-empty, has an
// optional sign and digits only, and fits in 32 bits.
bool TryStrToInt(const std::string& s, int& value);

// Bounded copy of a text into a caller's buffer of `capacity` bytes: at most
// capacity - 1 characters and a terminating zero. Nothing is written when
// dst is null or capacity is 0.
void CopyText(char* dst, size_t capacity, const std::string& src);
