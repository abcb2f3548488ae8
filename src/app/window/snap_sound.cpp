#include "app/window/snap_sound.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"

namespace strella::window {
namespace {

// Two decaying noise bursts with a low body, like a shutter opening and closing.
std::vector<int16_t> MakeSnap() {
  const int total = kSnapSampleRate * 18 / 100;
  std::vector<int16_t> samples(total);
  std::minstd_rand noise(20100);  // fixed seed: the same sound every time
  std::uniform_real_distribution<double> white(-1.0, 1.0);
  const double second_click = 0.075;
  for (int i = 0; i < total; ++i) {
    const double t = static_cast<double>(i) / kSnapSampleRate;
    double level = std::exp(-t * 90.0);
    if (t >= second_click) level += 0.8 * std::exp(-(t - second_click) * 70.0);
    const double body = std::sin(2 * M_PI * 180.0 * t) * 0.35;
    const double value = (white(noise) * 0.65 + body) * level;
    samples[i] = static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 26000));
  }
  return samples;
}

}  // namespace

const std::vector<int16_t>& SnapSamples() {
  static const std::vector<int16_t> samples = MakeSnap();
  return samples;
}

bool PlaySnapSound() {
  using media::FFLoader;
  if (!FFLoader().IsLoaded(media::ltSDL) && !FFLoader().LoadLib(media::ltSDL)) {
    media::Log(nullptr, media::llWarning, "Snap sound: " + FFLoader().LastErrMsg());
    return false;
  }
  if (sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    media::Log(nullptr, media::llWarning,
               std::string("Snap sound: no audio output: ") + sdl::SDL_GetError());
    return false;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kSnapSampleRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 1;
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID device = sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  bool played = false;
  if (device == 0) {
    media::Log(nullptr, media::llWarning,
               std::string("Snap sound: cannot open the audio device: ") + sdl::SDL_GetError());
  } else {
    const std::vector<int16_t>& samples = SnapSamples();
    const auto bytes = static_cast<Uint32>(samples.size() * sizeof(int16_t));
    played = sdl::SDL_QueueAudio(device, samples.data(), bytes) == 0;
    if (played) {
      sdl::SDL_PauseAudioDevice(device, 0);
      // Wait until the device has taken all of it, then for its own buffer.
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (sdl::SDL_GetQueuedAudioSize(device) > 0 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::this_thread::sleep_for(std::chrono::milliseconds(1000 * obtained.samples / kSnapSampleRate));
    }
    sdl::SDL_CloseAudioDevice(device);
  }
  sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return played;
}

}  // namespace strella::window
