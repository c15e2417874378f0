#pragma once
// The demo mix: a four-on-the-floor kick, a bass line, a hi-hat, a chord pad
// panned wide and a little noise, so level, dynamics, band balance and width
// all have something to show. Deterministic: the same seconds and rate give
// the same samples. Used by talvern-demo and the factory programs' tests.

#include <vector>

namespace demo {

struct TDemoMix {
  std::vector<float> L, R;
};

TDemoMix MakeDemoMix(double seconds, int rate = 44100);

}  // namespace demo
