#pragma once
// Stream adapters over zlib.
//
// TCompressionStream deflates what is written to it into a destination
// stream; TDecompressionStream inflates from a source stream as it is read.
// Both use zlib's defaults apart from the level: deflate method, 15-bit window
// with zlib header and Adler-32 trailer, memory level 8, default strategy.
// Data moves to and from the other stream in 65536-byte transfers through a
// buffer held inside the object (create them on the heap; the object is big).
// The other stream is not owned; an adapter moves it back to where it last
// left it before each transfer, so the other stream may be used in between.
//
// No locking: one thread at a time per adapter.

#include <cstdint>

#include <zlib.h>

#include "classlib/Classes.h"

class EZlibError : public Exception {
public:
  using Exception::Exception;
};
class ECompressionError : public EZlibError {
public:
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
public:
  using EZlibError::EZlibError;
};

enum TCompressionLevel { clNone, clFastest, clDefault, clMax };

// zlib level of a level kind: none 0, fastest 1, default -1, maximum 9.
int ZlibLevel(TCompressionLevel level);

class TCustomZlibStream : public TStream {
public:
  static constexpr int32_t kTransferSize = 65536;
  ~TCustomZlibStream() override = default;
  TCustomZlibStream(const TCustomZlibStream&) = delete;
  TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;
  const char* ClassName() const override { return "TCustomZlibStream"; }

protected:
  explicit TCustomZlibStream(TStream& other);

  TStream& FStrm;
  int64_t FStrmPos;  // where this adapter last left the other stream
  z_stream FZRec;
  uint8_t FBuffer[kTransferSize];
};

class TCompressionStream : public TCustomZlibStream {
public:
  TCompressionStream(TCompressionLevel level, TStream& dest);
  // Finishes the stream when Finish was not called; errors are swallowed
  // there, so call Finish to learn about them.
  ~TCompressionStream() override;

  int32_t Write(const void* buffer, int32_t count) override;
  // Raises ECompressionError "Invalid stream operation".
  int32_t Read(void* buffer, int32_t count) override;
  // Only (0, soCurrent): the number of bytes taken in so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Flushes the rest of the zlib stream (end code and trailer) to the
  // destination and ends the deflate state. Further writes raise.
  void Finish();
  const char* ClassName() const override { return "TCompressionStream"; }

private:
  void flushTransfer(int32_t n);
  bool FFinished = false;
};

// A read past the end of the zlib stream, or past the end of the source,
// returns what was produced so far (a short read, possibly 0); it never waits
// for input that does not come. Destruction puts back the input that zlib
// read ahead, so the source then stands right after the compressed bytes
// actually consumed.
class TDecompressionStream : public TCustomZlibStream {
public:
  explicit TDecompressionStream(TStream& source);
  ~TDecompressionStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  // Raises EDecompressionError "Invalid stream operation".
  int32_t Write(const void* buffer, int32_t count) override;
  // (0, soBeginning) restarts at source position 0; forward moves skip
  // output; anything else raises. Returns the bytes produced so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // True once the end of the zlib stream (with a valid trailer) was reached.
  bool StreamEnded() const { return FEnded; }
  uint64_t TotalIn() const { return FZRec.total_in; }
  uint64_t TotalOut() const { return FZRec.total_out; }
  const char* ClassName() const override { return "TDecompressionStream"; }

private:
  bool FEnded = false;
};
