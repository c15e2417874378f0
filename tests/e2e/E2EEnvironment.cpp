// The plug-in under test keeps its settings in the build folder and writes
// every message box to a log instead of showing it. The log is emptied before
// each test, so a message left by an earlier test or run never counts against
// a later one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "E2EFixture.h"

namespace e2e {
namespace {

void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

class EmptyMessageLog : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { std::ofstream(MessageLogPath(), std::ios::trunc); }
};

const bool kRegistered = [] {
  SetVariable("KESTRUNE_CONFIG_DIR", KES_E2E_CONFIG_DIR);
  SetVariable("KESTRUNE_MESSAGE_LOG", KES_E2E_MESSAGE_LOG);
  testing::UnitTest::GetInstance()->listeners().Append(new EmptyMessageLog);
  return true;
}();

}  // namespace

const char* MessageLogPath() { return KES_E2E_MESSAGE_LOG; }

std::string MessageLog() {
  std::ifstream in(MessageLogPath());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace e2e
