#pragma once
// File dialogs for tests: every request is recorded; answers come from a
// queue (a file name, or cancel); an empty queue cancels.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDialogs.h"

namespace platform::testing {

class ScriptedFileDialog : public FileDialogBackend {
public:
  ScriptedFileDialog() { FPrevious = SetFileDialogBackend(this); }
  ~ScriptedFileDialog() override { SetFileDialogBackend(FPrevious); }
  bool Run(const FileDialogRequest& request, std::string& fileName) override {
    Requests.push_back(request);
    if (Answers.empty()) return false;
    std::optional<std::string> a = Answers.front();
    Answers.pop_front();
    if (!a) return false;
    fileName = *a;
    return true;
  }
  void Choose(const std::string& file) { Answers.push_back(file); }
  void Cancel() { Answers.push_back(std::nullopt); }
  std::vector<FileDialogRequest> Requests;
  std::deque<std::optional<std::string>> Answers;

private:
  FileDialogBackend* FPrevious;
};

}  // namespace platform::testing
