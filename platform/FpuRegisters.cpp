// Reading and writing the x87 control word and MXCSR: the same instructions
// on i686 and x86-64.
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

}  // namespace platform
