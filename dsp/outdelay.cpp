#include "dsp/outdelay.h"

#include <algorithm>

#include "dsp/VecOps.h"

TOutDelayer::TOutDelayer(int bufferCount, int delay, int multiplier, int blockLength)
    : FBufferCount(std::clamp(bufferCount, 0, kMaxChannels)),
      FBlockLength(std::max(blockLength, 0)),
      FBufferLength(std::max(blockLength, 0) * std::max(multiplier, 1)),
      FDelay(std::max(delay, 0)) {
  try {
    for (int i = 0; i < FBufferCount; ++i)
      AlignedAlloc(FBuffers[i], sizeof(double) * static_cast<size_t>(FBufferLength));
    if (FDelay > 0) {
      for (int i = 0; i < FBufferCount; ++i) {
        FDelayers[i] = std::make_unique<TDelayer1>(0);
        FDelayers[i]->KeepContents = true;
        FDelayers[i]->SetLength(FDelay);
      }
    }
  } catch (...) {
    freeAll();
    throw;
  }
}

TOutDelayer::~TOutDelayer() { freeAll(); }

void TOutDelayer::freeAll() {
  for (int i = 0; i < kMaxChannels; ++i) {
    FDelayers[i].reset();
    if (FBuffers[i]) AlignedFree(FBuffers[i]);
    FBuffers[i] = nullptr;
  }
}

void TOutDelayer::StageInput(TVSTProcessRecord* rec, int channels, int first, int n) {
  n = std::clamp(n, 0, FBufferLength);
  for (int k = 0; k < channels; ++k) {
    int b = first + k;
    if (b < 0 || b >= FBufferCount || k >= kMaxChannels) continue;
    const float* in = rec->Inputs[k];
    if (!in) {
      VecZero(FBuffers[b], n);
    } else if (FDelayers[b] && FDelayers[b]->Length() != 0) {
      FDelayers[b]->Run(in, FBuffers[b], n);
    } else {
      VecSingleToSanitizedDouble(in, FBuffers[b], n);
    }
  }
}

void TOutDelayer::StageOutput(TVSTProcessRecord* rec, int channels, int n, bool applyGain, float gain) {
  n = std::clamp(n, 0, FBufferLength);
  if (FBufferCount < 2) return;
  float* out0 = rec->Outputs[0];
  float* out1 = rec->Outputs[1];
  const bool replacing = rec->Replacing != 0;
  const double* b0 = FBuffers[0];
  const double* b1 = FBuffers[1];
  if (channels != 2) {
    if (out0 && out1) {
      if (replacing) {
        if (applyGain)
          VecDoubleToSingle2Gain(b0, out0, out1, n, gain);
        else
          VecDoubleToSingle2(b0, out0, out1, n);
      } else {
        if (applyGain)
          VecAddToSingle2Gain(b0, out0, out1, n, gain);
        else
          VecAddToSingle2(b0, out0, out1, n);
      }
    } else {
      // A host with a single output: the mono signal goes where it can.
      float* out = out0 ? out0 : out1;
      if (out) {
        if (replacing) {
          if (applyGain)
            VecDoubleToSingleGain(b0, out, n, gain);
          else
            VecDoubleToSingle(b0, out, n);
        } else {
          if (applyGain)
            VecAddToSingleGain(b0, out, n, gain);
          else
            VecAddToSingle(b0, out, n);
        }
      }
    }
  } else {
    float* outs[2] = {out0, out1};
    const double* bufs[2] = {b0, b1};
    for (int k = 0; k < 2; ++k) {
      if (!outs[k]) continue;
      if (replacing) {
        if (applyGain)
          VecDoubleToSingleGain(bufs[k], outs[k], n, gain);
        else
          VecDoubleToSingle(bufs[k], outs[k], n);
      } else {
        if (applyGain)
          VecAddToSingleGain(bufs[k], outs[k], n, gain);
        else
          VecAddToSingle(bufs[k], outs[k], n);
      }
    }
  }
  if (rec->Inputs[0]) rec->Inputs[0] += n;
  if (channels == 2 && rec->Inputs[1]) rec->Inputs[1] += n;
  if (rec->Outputs[0]) rec->Outputs[0] += n;
  if (rec->Outputs[1]) rec->Outputs[1] += n;
}
