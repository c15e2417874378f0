#pragma once
// The per-call process record handed to the plug-in's process handlers. It is
// built anew, zero-filled, for every process call and lives only for the
// duration of the handler call. The staging advances its buffer pointers as it
// walks a host block in pieces.

#include <cstdint>

constexpr int kMaxProcessChannels = 32;

struct TVSTProcessRecord {
  float* Inputs[kMaxProcessChannels];   // first InCount copied from the host, rest null
  float* Outputs[kMaxProcessChannels];  // first OutCount copied
  int32_t SampleFrames;                 // as the host gave it
  int32_t Replacing;                    // all bits set: overwrite outputs; 0: add to them
  int32_t InCount;
  int32_t OutCount;
  uint8_t InConnected[kMaxProcessChannels];
  uint8_t OutConnected[kMaxProcessChannels];
};
using PVSTProcessRecord = TVSTProcessRecord*;
