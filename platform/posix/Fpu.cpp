// x86-64: the x87 unit is still used for long double; SSE does double and
// single. The guard saves the x87 control word and MXCSR and loads the
// plug-in's values; restoring puts both back.
#include <cstring>

#include "platform/Fpu.h"

namespace platform {

void SaveFPUState(FPUStateArea& area) {
  std::memset(area.X87, 0, sizeof area.X87);
  uint16_t cw = GetX87ControlWord();
  std::memcpy(area.X87, &cw, sizeof cw);
  area.Mxcsr = GetMxcsr();
  __asm__ __volatile__("fnclex");
  SetX87ControlWord(kPluginFpuControlWord);
  SetMxcsr(kPluginMxcsr);
}

void RestoreFPUState(const FPUStateArea& area) {
  uint16_t cw;
  std::memcpy(&cw, area.X87, sizeof cw);
  __asm__ __volatile__("fnclex");
  SetX87ControlWord(cw);
  SetMxcsr(area.Mxcsr);
}

}  // namespace platform
