#include "Ombrel/Classes/Application/SoundManager/QVSoundSynthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace QVSoundSynthesis {
namespace {

// One sine partial: frequency (Hz), amplitude, start (s) and an exponential decay time (s).
struct Partial {
  double frequency, amplitude, start, decay;
};

std::vector<float> render(const std::vector<Partial>& partials, double seconds) {
  const size_t count = size_t(seconds * kSampleRate);
  std::vector<float> out(count, 0.0f);
  constexpr double kAttack = 0.004;  // a 4 ms rise so no cue starts with a click
  for (const auto& p : partials) {
    for (size_t i = size_t(p.start * kSampleRate); i < count; ++i) {
      const double t = double(i) / kSampleRate - p.start;
      const double envelope = std::min(1.0, t / kAttack) * std::exp(-t / p.decay);
      out[i] += float(p.amplitude * envelope * std::sin(2 * std::numbers::pi * p.frequency * t));
    }
  }
  // A 20 ms fade at the end, then the whole cue scaled to a peak of -6 dBFS.
  const size_t fade = std::min(count, size_t(0.02 * kSampleRate));
  for (size_t i = 0; i < fade; ++i) out[count - 1 - i] *= float(double(i) / fade);
  float peak = 0;
  for (float s : out) peak = std::max(peak, std::fabs(s));
  if (peak > 0) {
    for (float& s : out) s *= 0.5f / peak;
  }
  return out;
}

}  // namespace

std::vector<float> samplesForCue(QVSoundCue cue) {
  switch (cue) {
    case QVSoundCue::Drop:
      // A small bright bell: E6 with the inharmonic partials of a struck bar.
      return render({{1318.5, 1.0, 0, 0.16}, {1318.5 * 2.76, 0.28, 0, 0.06}, {1318.5 * 5.4, 0.1, 0, 0.03}}, 0.42);
    case QVSoundCue::Complete:
      // A rising two-note chime, C6 then G6, each with a soft octave.
      return render(
          {{1046.5, 0.8, 0, 0.12}, {2093.0, 0.18, 0, 0.07}, {1568.0, 1.0, 0.11, 0.22}, {3136.0, 0.2, 0.11, 0.09}},
          0.62);
    case QVSoundCue::Attention:
      // Two low, soft taps a little apart: noticeable without alarm.
      return render(
          {{659.3, 1.0, 0, 0.06}, {1318.5, 0.15, 0, 0.03}, {587.3, 0.9, 0.13, 0.08}, {1174.7, 0.12, 0.13, 0.04}}, 0.42);
  }
  return {};
}

std::vector<uint8_t> wavFileFromSamples(const std::vector<float>& samples, int sampleRate) {
  std::vector<uint8_t> out;
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  auto put16 = [&out](uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  };
  auto tag = [&out](const char* t) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(t[i]));
  };
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  out.reserve(44 + dataBytes);
  tag("RIFF");
  put32(36 + dataBytes);
  tag("WAVE");
  tag("fmt ");
  put32(16);
  put16(1);  // PCM
  put16(1);  // mono
  put32(uint32_t(sampleRate));
  put32(uint32_t(sampleRate) * 2);
  put16(2);
  put16(16);
  tag("data");
  put32(dataBytes);
  for (float s : samples) {
    const float clipped = std::clamp(s, -1.0f, 1.0f);
    put16(uint16_t(int16_t(std::lround(clipped * 32767.0f))));
  }
  return out;
}

std::string soundNameForCue(QVSoundCue cue) {
  switch (cue) {
    case QVSoundCue::Drop:
      return "Digital Bell";
    case QVSoundCue::Complete:
      return "Complete";
    case QVSoundCue::Attention:
      return "Attention";
  }
  return {};
}

std::string fileNameForCue(QVSoundCue cue) {
  switch (cue) {
    case QVSoundCue::Drop:
      return "drop-1.wav";
    case QVSoundCue::Complete:
      return "complete-1.wav";
    case QVSoundCue::Attention:
      return "attention-1.wav";
  }
  return {};
}

}  // namespace QVSoundSynthesis
