#pragma once
// Port: the few file operations the standard library cannot do portably.

#include <cstdio>
#include <string>

namespace platform {

enum class FileCreated { Yes, Exists, Failed };

// Creates an empty file only when nothing exists at `path` yet (atomically:
// two callers never both succeed). `error` receives the system's reason on
// Exists and Failed.
FileCreated CreateNewFile(const std::string& path, std::string& error);

// Moves `source` to `target`, replacing a file already there in one step, so
// `target` holds either its old content or the whole new file, never nothing.
// False (both files as they were) when the move fails; `error` then receives
// the system's reason.
bool ReplaceFileWith(const std::string& source, const std::string& target, std::string& error);

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace platform
