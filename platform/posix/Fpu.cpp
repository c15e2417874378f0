// x86-64: the x87 unit is still used for long double; SSE does double and
// single. The guard saves the x87 control word and MXCSR and loads the
// plug-in's values; restoring puts both back.
#include <cstring>

#include "platform/Fpu.h"

namespace platform {

uint16_t GetX87ControlWord() {
  uint16_t cw;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}

void SetX87ControlWord(uint16_t cw) { __asm__ __volatile__("fldcw %0" : : "m"(cw)); }

uint32_t GetMxcsr() {
  uint32_t v;
  __asm__ __volatile__("stmxcsr %0" : "=m"(v));
  return v;
}

void SetMxcsr(uint32_t v) { __asm__ __volatile__("ldmxcsr %0" : : "m"(v)); }

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
