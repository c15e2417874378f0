#pragma once
// Message boxes for tests: every box is recorded, none is shown; answers come
// from a script (first queued answer first), else the safe answer.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace platform::testing {

struct RecordedBox {
  std::string Caption;
  std::string Text;
  MsgIcon Icon;
  MsgButtons Buttons;
};

class RecordingMessageBox : public MessageBoxBackend {
public:
  RecordingMessageBox() { FPrevious = SetMessageBoxBackend(this); }
  ~RecordingMessageBox() override { SetMessageBoxBackend(FPrevious); }

  MsgAnswer Show(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) override;
  void QueueAnswer(MsgAnswer a);
  std::vector<RecordedBox> Boxes() const;
  std::vector<std::string> Texts() const;
  void Clear();

private:
  mutable std::mutex FMutex;
  std::vector<RecordedBox> FBoxes;
  std::deque<MsgAnswer> FAnswers;
  MessageBoxBackend* FPrevious;
};

}  // namespace platform::testing
