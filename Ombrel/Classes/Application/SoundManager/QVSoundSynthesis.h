#pragma once
// The application's three sound cues, made here rather than taken from a system sound theme (a
// Linux desktop may have none): short sums of decaying sine partials, written as 16-bit mono WAV
// at 44.1 kHz. Pure functions; no Qt, no audio device.
#include <cstdint>
#include <string>
#include <vector>

enum class QVSoundCue { Drop, Complete, Attention };

namespace QVSoundSynthesis {

inline constexpr int kSampleRate = 44100;

// The cue's samples in -1...1.
std::vector<float> samplesForCue(QVSoundCue cue);
// A RIFF/WAVE file of 16-bit mono samples (clipped to -1...1).
std::vector<uint8_t> wavFileFromSamples(const std::vector<float>& samples, int sampleRate = kSampleRate);
// The name the platform's sound carried ("Digital Bell", "Complete", "Attention").
std::string soundNameForCue(QVSoundCue cue);
// The file name the cue is kept under ("drop-1.wav", ...; the number changes with the sound).
std::string fileNameForCue(QVSoundCue cue);

}  // namespace QVSoundSynthesis
