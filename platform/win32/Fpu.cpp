// i686: FNSAVE stores the complete x87 state (and re-initialises the unit),
// FRSTOR reloads it. The plug-in's arithmetic runs on SSE2, so MXCSR is saved
// and set as well.
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
  __asm__ __volatile__("fnsave %0" : "=m"(area.X87) : : "memory");
  area.Mxcsr = GetMxcsr();
  SetX87ControlWord(kPluginFpuControlWord);
  SetMxcsr(kPluginMxcsr);
}

void RestoreFPUState(const FPUStateArea& area) {
  __asm__ __volatile__("frstor %0" : : "m"(area.X87) : "memory");
  SetMxcsr(area.Mxcsr);
}

}  // namespace platform
