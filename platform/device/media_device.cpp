#include "media_device.h"

#include <SDL.h>

#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "open_song_source.h"
#include "tempo_command.h"

namespace melvar::device {
namespace {

// Frames per SDL buffer: ~11 ms at 44.1 kHz, so two buffers stay under 30 ms.
constexpr int kBufferFrames = 512;
// How often the UI thread looks for the end of a play (the notice follows the
// rendered end within one period).
constexpr int kEndPollMs = 20;
// Sounding notes may ring out after the song's end for at most one second,
// less when they fall silent first.
constexpr float kSilence = 1e-4f;

const char* GeneralText(int code) {
  switch (code) {
    case audio::kErrNone: return "The specified command was carried out";
    case audio::kErrFileNotFound: return "The specified file cannot be found or read";
    case audio::kErrCannotPlayType: return "The file cannot be played on this device";
    case audio::kErrBadFile: return "The file is damaged or not of the kind its name says";
    case audio::kErrNoSoundFont: return "No General MIDI SoundFont is installed";
    case audio::kErrNoOutput: return "Cannot open the audio output";
    case audio::kErrNotOpen: return "No song is open on the device";
    case audio::kErrBadCommand: return "The command cannot be understood";
    case audio::kErrWrongDevice: return "The command names a file that is not the open song";
    case audio::kErrTempoOutOfRange: return "The tempo is out of range (1 to 1000 beats per minute)";
    case audio::kErrNotSupported: return "The open song does not support this command";
    case audio::kErrOutOfRange: return "The position is beyond the end of the song";
    case audio::kErrInternal: return "The device failed unexpectedly";
    default: return nullptr;
  }
}

}  // namespace

MediaDevice::MediaDevice(QObject* parent) : PlayerDevice(parent) {
  endPoll_.setInterval(kEndPollMs);
  connect(&endPoll_, &QTimer::timeout, this, [this] { checkEnded(); });
}

MediaDevice::~MediaDevice() {
  endPoll_.stop();
  if (output_) {
    SDL_LockAudioDevice(output_);
    rendering_ = nullptr;
    SDL_UnlockAudioDevice(output_);
  }
  source_.reset();
  if (output_) {
    SDL_CloseAudioDevice(output_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

void MediaDevice::lockAudio() {
  if (output_) SDL_LockAudioDevice(output_);
}
void MediaDevice::unlockAudio() {
  if (output_) SDL_UnlockAudioDevice(output_);
}

int MediaDevice::setError(int code, std::string text) {
  lastError_ = code;
  lastText_ = std::move(text);
  return code;
}

std::string MediaDevice::errorText(int code) const {
  if (code == lastError_ && !lastText_.empty()) return lastText_;
  const char* text = GeneralText(code);
  return text ? text : "Unknown error code";
}

int MediaDevice::outputLatencyMs() const {
  if (!rate_) return 0;
  return static_cast<int>(std::lround(2.0 * bufferFrames_ * 1000.0 / rate_));
}

int MediaDevice::openOutput() {
  if (output_) return setError(audio::kErrNone);
  // The program's own quit handling stays in place (SDL would take SIGINT
  // and SIGTERM for itself).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    return setError(audio::kErrNoOutput, std::string("Cannot open the audio output: ") + SDL_GetError());
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = kBufferFrames;
  want.callback = [](void* self, Uint8* stream, int len) { AudioCallback(self, stream, len); };
  want.userdata = this;
  SDL_AudioSpec have{};
  // Take the output's own rate when it is one of the two usual ones (no
  // conversion in SDL); otherwise let SDL convert from 44100.
  SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (dev && have.freq != 44100 && have.freq != 48000) {
    SDL_CloseAudioDevice(dev);
    dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  }
  if (!dev) {
    std::string reason = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);  // so the next open starts afresh
    return setError(audio::kErrNoOutput, "Cannot open the audio output: " + reason);
  }
  output_ = dev;
  rate_ = have.freq;
  bufferFrames_ = have.samples;
  // The output runs from now on, silent while nothing plays, so every play
  // starts with the same latency.
  SDL_PauseAudioDevice(output_, 0);
  return setError(audio::kErrNone);
}

void MediaDevice::AudioCallback(void* self, uint8_t* stream, int len) {
  static_cast<MediaDevice*>(self)->renderInto(reinterpret_cast<float*>(stream),
                                              len / static_cast<int>(2 * sizeof(float)));
}

// Audio thread, with the audio lock held by SDL.
void MediaDevice::renderInto(float* out, int frames) {
  audio::SongSource* source = rendering_;
  if (!source) {
    std::memset(out, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
    return;
  }
  if (!ended_) {
    source->render(out, frames);
    framesSincePlay_ += frames;
    if (source->finished()) {
      ended_ = true;
      ringOutLeft_ = rate_;
      endSeen_.store(true, std::memory_order_release);
    }
    return;
  }
  const int n = std::min(frames, ringOutLeft_);
  if (n > 0) source->render(out, n);
  std::memset(out + n * 2, 0, static_cast<size_t>(frames - n) * 2 * sizeof(float));
  ringOutLeft_ -= n;
  float peak = 0.0f;
  for (int i = 0; i < n * 2; ++i) peak = std::max(peak, std::fabs(out[i]));
  if (peak < kSilence) ringOutLeft_ = 0;
}

void MediaDevice::postNotice(int value) {
  const uint64_t play = generation_;
  QMetaObject::invokeMethod(
      this,
      [this, value, play] {
        if (play == generation_) emit notify(value);
      },
      Qt::QueuedConnection);
}

void MediaDevice::checkEnded() {
  if (mode_ != Playing || !endSeen_.load(std::memory_order_acquire)) {
    if (mode_ != Playing) endPoll_.stop();
    return;
  }
  // The song's end has been rendered: the device stops (notes may still ring
  // out on the audio thread) and the play ends successfully.
  mode_ = Stopped;
  endPoll_.stop();
  postNotice(Successful);
}

void MediaDevice::haltPlay(Mode next) {
  lockAudio();
  rendering_ = nullptr;
  unlockAudio();
  endPoll_.stop();
  mode_ = next;
  postNotice(Aborted);
}

int MediaDevice::open(const std::string& path) {
  close();
  if (!audio::SongKindOf(path)) {
    std::unique_ptr<audio::SongSource> none;
    audio::MediaError e = audio::OpenSongSource(path, 44100, &none);  // gives the refusal's text
    return setError(e.code, e.text);
  }
  if (int rc = openOutput(); rc != 0) return rc;
  std::unique_ptr<audio::SongSource> source;
  audio::MediaError e = audio::OpenSongSource(path, rate_, &source);
  if (!e.ok()) return setError(e.code, e.text);
  source_ = std::move(source);
  path_ = path;
  mode_ = Stopped;
  return setError(audio::kErrNone);
}

int MediaDevice::close() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNone);
  if (mode_ == Playing) haltPlay(Stopped);
  lockAudio();
  rendering_ = nullptr;
  unlockAudio();
  source_.reset();  // outside the lock: a decoder's feeder thread is joined here
  path_.clear();
  mode_ = NotOpen;
  return setError(audio::kErrNone);
}

int MediaDevice::play() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (mode_ == Playing) postNotice(Superseded);  // dropped: the new play below supersedes it
  ++generation_;
  lockAudio();
  rendering_ = source_.get();
  framesSincePlay_ = 0;
  ended_ = false;
  ringOutLeft_ = 0;
  endSeen_.store(false, std::memory_order_release);
  unlockAudio();
  mode_ = Playing;
  endPoll_.start();
  return setError(audio::kErrNone);
}

int MediaDevice::stop() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (mode_ == Playing) {
    haltPlay(Stopped);
  } else {
    lockAudio();
    rendering_ = nullptr;  // cuts a ring-out after the end
    unlockAudio();
    mode_ = Stopped;
  }
  return setError(audio::kErrNone);
}

int MediaDevice::pause() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (mode_ == Playing) haltPlay(Paused);
  return setError(audio::kErrNone);
}

int MediaDevice::seek(int64_t target) {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  const int64_t len = source_->length();
  if (target < 0 || target > len)
    return setError(audio::kErrOutOfRange, "The position " + std::to_string(target) +
                                               " is beyond the song (0 to " + std::to_string(len) + ")");
  if (mode_ == Playing) haltPlay(Stopped);
  lockAudio();
  rendering_ = nullptr;
  audio::MediaError e = source_->seek(target);
  unlockAudio();
  mode_ = Stopped;
  return setError(e.code, e.text);
}

int64_t MediaDevice::length() {
  checkEnded();
  if (mode_ == NotOpen) {
    setError(audio::kErrNotOpen);
    return 0;
  }
  lockAudio();
  const int64_t len = source_->length();
  unlockAudio();
  setError(audio::kErrNone);
  return len;
}

int64_t MediaDevice::position() {
  checkEnded();
  if (mode_ == NotOpen) {
    setError(audio::kErrNotOpen);
    return 0;
  }
  lockAudio();
  // While playing, what is heard lags the render head by the output latency,
  // but never lies before the point where this play started.
  const int64_t behind = mode_ == Playing ? std::min<int64_t>(2LL * bufferFrames_, framesSincePlay_) : 0;
  const int64_t pos = source_->positionAt(behind);
  unlockAudio();
  setError(audio::kErrNone);
  return pos;
}

MediaDevice::Mode MediaDevice::mode() {
  checkEnded();
  setError(audio::kErrNone);
  return mode_;
}

int MediaDevice::songBpm() {
  setError(audio::kErrNone);
  return source_ ? source_->baseBpm() : 0;
}

int MediaDevice::sendString(const std::string& command) {
  checkEnded();
  TempoCommand cmd;
  if (audio::MediaError e = ParseTempoCommand(command, &cmd); !e.ok()) return setError(e.code, e.text);
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (!SamePathIgnoringCase(cmd.path, path_))
    return setError(audio::kErrWrongDevice, "The command names \"" + cmd.path + "\", which is not the open song");
  lockAudio();
  audio::MediaError e = source_->setTempo(cmd.bpm);
  unlockAudio();
  return setError(e.code, e.text);
}

}  // namespace melvar::device
