#pragma once
// Running the desktop's helper programs (zenity, kdialog) without a shell, so
// no text is ever interpreted.

#include <string>
#include <vector>

namespace platform::posix {

// True when the program is an executable on $PATH.
bool OnPath(const char* name);
// Runs args and waits; the exit status, or -1 when it could not run.
int Run(const std::vector<std::string>& args);
// As Run, capturing standard output (trailing line breaks removed); true on
// exit status 0 with some output.
bool Capture(const std::vector<std::string>& args, std::string& out);

}  // namespace platform::posix
