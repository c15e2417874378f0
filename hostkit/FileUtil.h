#pragma once
// File helpers of the render host: bounded whole-file reads, output files that
// replace their target only once they are complete, and the terminal check
// for the progress display. The only OS-specific code the render host needs.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hostkit {

// Reads the whole file; false with `error` set when it cannot be opened or
// read, or is larger than `maxBytes`. Allocates only what the file holds.
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error);

// An output written to a fresh temporary file beside its target and renamed
// over the target by Commit(). Until then the target is untouched; a
// PendingFile that is destroyed without Commit() removes its temporary file.
class PendingFile {
public:
  PendingFile() = default;
  ~PendingFile() { Discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the empty temporary file (exclusively, a new name each time).
  bool Create(const std::string& target, std::string& error);
  const std::string& TempPath() const { return FTemp; }
  const std::string& Target() const { return FTarget; }
  // Writes `bytes` to the temporary file (replacing its content).
  bool Write(const std::vector<uint8_t>& bytes, std::string& error);
  bool Commit(std::string& error);
  void Discard();

private:
  std::string FTarget;
  std::string FTemp;
};

// Checks that `target` can be an output: its folder exists and it is not a
// folder itself. False with `error` set otherwise.
bool CheckOutputTarget(const std::string& target, std::string& error);

// Commits the files as one: every target is replaced, or, when one cannot be,
// the targets already replaced get their old content back (and new ones are
// removed) before it returns false. The old content is kept in a file beside
// each existing target until all are committed.
bool CommitAll(const std::vector<PendingFile*>& files, std::string& error);

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace hostkit
