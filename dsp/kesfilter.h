#pragma once
// TKesFilter: the audition band-pass between input staging and the engine. A
// second-order section (bilinear band-pass, bandwidth in octaves, 0 dB at the
// centre) on one or two channels, redesigned only when a setting changed.
//
// Invariants: the sample loop always runs coefficients designed for the
// current settings (Update runs at the start of each process call); the
// centre is kept inside (0, 0.49 * fs) and the bandwidth above zero, so the
// design is always stable.
//
// Threading: audio thread only; the setters are called by the chain at the
// start of a block. No allocation after construction.

#include <cstdint>

constexpr int32_t kFilterBypass = 0;
constexpr int32_t kFilterBandPass = 11;

struct TKesFilterDesign {
  float SampleRate;
  int32_t FilterType;
  float Frequency;            // Hz
  float GainDb;               // unused by the band-pass
  float Bandwidth;            // octaves
  double B0, B1, B2, A1, A2;  // A1 stored negated for the band-pass loop
  int32_t ActiveType;
};

struct TKesFilterChannel {
  double S1, S2;
  double Unused[6];
};

class TKesFilter {
public:
  explicit TKesFilter(int32_t sampleRate);
  ~TKesFilter();
  TKesFilter(const TKesFilter&) = delete;
  TKesFilter& operator=(const TKesFilter&) = delete;

  void SetSampleRate(int32_t sampleRate);
  void SetFrequency(float hz);
  void SetBandwidth(float octaves);
  void SetType(int32_t type);
  void Clear();
  void ProcessStereo(double* left, double* right, int n);
  void ProcessMono(double* samples, int n);

  // Band-pass coefficients for 1 + A1 z^-1 + A2 z^-2 in the denominator.
  static void DesignBandPass(double fs, double frequency, double bandwidth, double& b0, double& b1, double& b2,
                             double& a1, double& a2);
  // Magnitude in dB at normalised frequencies x (1 = fs / 2).
  static void ResponseDb(const double* x, float* db, int n, double b0, double b1, double b2, double a1, double a2);

  const TKesFilterDesign& Design() const { return *FDesign; }
  bool DesignDirty() const { return FDesignDirty; }
  // Number of designs computed so far.
  int DesignCount() const { return FDesignCount; }

private:
  void update();
  void run(TKesFilterChannel& c, double* x, int n) const;

  TKesFilterDesign* FDesign = nullptr;
  TKesFilterChannel* FChannels[2] = {};
  bool FDesignDirty = false;
  bool FResetPending = false;
  int FDesignCount = 0;
};
