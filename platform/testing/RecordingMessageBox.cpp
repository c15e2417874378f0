#include "platform/testing/RecordingMessageBox.h"

namespace platform::testing {

MsgAnswer RecordingMessageBox::Show(const std::string& caption, const std::string& text, MsgIcon icon,
                                    MsgButtons buttons) {
  std::lock_guard<std::mutex> g(FMutex);
  FBoxes.push_back(RecordedBox{caption, text, icon, buttons});
  if (!FAnswers.empty()) {
    MsgAnswer a = FAnswers.front();
    FAnswers.pop_front();
    return a;
  }
  return SafeAnswer(buttons);
}

void RecordingMessageBox::QueueAnswer(MsgAnswer a) {
  std::lock_guard<std::mutex> g(FMutex);
  FAnswers.push_back(a);
}

std::vector<RecordedBox> RecordingMessageBox::Boxes() const {
  std::lock_guard<std::mutex> g(FMutex);
  return FBoxes;
}

std::vector<std::string> RecordingMessageBox::Texts() const {
  std::lock_guard<std::mutex> g(FMutex);
  std::vector<std::string> t;
  for (const RecordedBox& b : FBoxes) t.push_back(b.Text);
  return t;
}

void RecordingMessageBox::Clear() {
  std::lock_guard<std::mutex> g(FMutex);
  FBoxes.clear();
}

}  // namespace platform::testing
