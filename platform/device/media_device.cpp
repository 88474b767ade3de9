#include "media_device.h"

#include <SDL.h>
#include <malloc.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "midi_source.h"
#include "open_song_source.h"
#include "tempo_command.h"

namespace melvar::device {

static_assert(PlayerDevice::kOpenInterrupted == audio::kErrInterrupted);
namespace {

// Frames per SDL buffer asked for: ~11 ms at 44.1 kHz. The latency counts
// what SDL obtained.
constexpr int kBufferFrames = 512;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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
    case audio::kErrInterrupted: return "The song was closed while it was being opened";
    default: return nullptr;
  }
}

// Runs `work` on a helper thread. The calling (UI) thread meanwhile runs its
// event loop, user input excluded, so the window repaints and its timers run
// but no click starts anything new; without an event loop to run (no
// application object, or another thread), `work` runs right here.
template <class Work>
void RunBesideEventLoop(Work work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    work();
    return;
  }
  QEventLoop loop;
  std::thread helper([&] {
    work();
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  helper.join();
}

}  // namespace

MediaDevice::MediaDevice(QObject* parent) : PlayerDevice(parent) {
  endFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (endFd_ >= 0) {
    endNotifier_ = std::make_unique<QSocketNotifier>(endFd_, QSocketNotifier::Read);
    connect(endNotifier_.get(), &QSocketNotifier::activated, this, [this] {
      uint64_t count = 0;
      if (::read(endFd_, &count, sizeof count) < 0) { /* nothing pending */ }
      checkEnded();
    });
  }
}

MediaDevice::~MediaDevice() {
  if (preload_.joinable()) preload_.join();
  detachSource();
  source_.reset();
  if (output_) {
    SDL_CloseAudioDevice(output_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  endNotifier_.reset();
  if (endFd_ >= 0) ::close(endFd_);
}

void MediaDevice::lockAudio() {
  if (!output_) return;
  SDL_LockAudioDevice(output_);
  lockedAtNs_ = NowNs();
}
void MediaDevice::unlockAudio() {
  if (!output_) return;
  longestLockNs_ = std::max(longestLockNs_, NowNs() - lockedAtNs_);
  SDL_UnlockAudioDevice(output_);
}

int64_t MediaDevice::takeLongestLockNs() {
  const int64_t longest = longestLockNs_;
  longestLockNs_ = 0;
  return longest;
}

void MediaDevice::detachSource() {
  lockAudio();
  rendering_ = nullptr;
  unlockAudio();
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
  return static_cast<int>((int64_t{latencyFrames_} * 1000 + rate_ / 2) / rate_);
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
  latencyFrames_ = have.samples;
  // The output runs from now on, silent while nothing plays, so every play
  // starts with the same latency.
  SDL_PauseAudioDevice(output_, 0);
  return setError(audio::kErrNone);
}

int MediaDevice::preload() {
  if (int rc = openOutput(); rc != 0) return rc;
  if (!preload_.joinable()) {
    const int rate = rate_;
    preload_ = std::thread([rate] { midi::PreloadSynth(rate); });
  }
  return setError(audio::kErrNone);
}

void MediaDevice::AudioCallback(void* self, uint8_t* stream, int len) {
  static_cast<MediaDevice*>(self)->renderInto(reinterpret_cast<float*>(stream),
                                              len / static_cast<int>(2 * sizeof(float)));
}

// Audio thread, with the audio lock held by SDL.
void MediaDevice::renderInto(float* out, int frames) {
  callbackNs_ = NowNs();
  callbackFrame_ = framesSincePlay_;
  callbackSeen_ = true;
  audio::SongSource* source = rendering_;
  if (!source) {
    std::memset(out, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
    return;
  }
  if (!ended_) {
    if (framesSincePlay_ == 0) firstRenderNs_ = callbackNs_;
    marks_[static_cast<size_t>(markCount_++ % kCallbackLog)] = {callbackNs_, framesSincePlay_};
    source->render(out, frames);
    framesSincePlay_ += frames;
    if (source->finished()) {
      ended_ = true;
      ringOut_.start(rate_);
      endSeen_.store(true, std::memory_order_release);
      const uint64_t one = 1;
      if (endFd_ >= 0 && ::write(endFd_, &one, sizeof one) < 0) { /* the counter is full: a word is pending */ }
    }
    return;
  }
  const int n = ringOut_.render(*source, out, frames);
  std::memset(out + n * 2, 0, static_cast<size_t>(frames - n) * 2 * sizeof(float));
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
  if (mode_ != Playing || !endSeen_.load(std::memory_order_acquire)) return;
  // The song's end has been rendered: the device stops (notes may still ring
  // out on the audio thread) and the play ends successfully.
  mode_ = Stopped;
  postNotice(Successful);
}

void MediaDevice::haltPlay(Mode next) {
  detachSource();
  mode_ = next;
  postNotice(Aborted);
}

int MediaDevice::open(const std::string& path) {
  close();
  const uint64_t ticket = ++openCount_;
  if (!audio::SongKindOf(path)) {
    std::unique_ptr<audio::SongSource> none;
    audio::MediaError e = audio::OpenSongSource(path, 44100, &none);  // gives the refusal's text
    return setError(e.code, e.text);
  }
  if (int rc = openOutput(); rc != 0) return rc;
  std::unique_ptr<audio::SongSource> source;
  audio::MediaError e;
  const int rate = rate_;
  RunBesideEventLoop([&] {
    e = audio::OpenSongSource(path, rate, &source);
    malloc_trim(0);  // the parser's and the previous song's freed memory goes back to the system
  });
  if (ticket != openCount_) {
    // A handler run by the event loop closed the device or opened another
    // song meanwhile: that one stands.
    source.reset();
    return setError(audio::kErrInterrupted);
  }
  if (!e.ok()) return setError(e.code, e.text);
  source_ = std::move(source);
  path_ = path;
  mode_ = Stopped;
  return setError(audio::kErrNone);
}

int MediaDevice::close() {
  ++openCount_;
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNone);
  if (mode_ == Playing) haltPlay(Stopped);
  detachSource();
  // Outside the lock: a decoder's feeder thread is joined here, and the
  // synthesiser lets go of the song's instruments.
  source_.reset();
  malloc_trim(0);  // the song's instruments leave the process's memory
  path_.clear();
  mode_ = NotOpen;
  return setError(audio::kErrNone);
}

int MediaDevice::play() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (mode_ == Playing) postNotice(Superseded);  // dropped: the new play below supersedes it
  ++generation_;
  endSeen_.store(false, std::memory_order_release);
  lockAudio();
  rendering_ = source_.get();
  framesSincePlay_ = 0;
  callbackSeen_ = false;
  firstRenderNs_ = 0;
  markCount_ = 0;
  ended_ = false;
  ringOut_.cancel();
  unlockAudio();
  mode_ = Playing;
  return setError(audio::kErrNone);
}

int MediaDevice::stop() {
  checkEnded();
  if (mode_ == NotOpen) return setError(audio::kErrNotOpen);
  if (mode_ == Playing) {
    haltPlay(Stopped);
  } else {
    detachSource();  // cuts a ring-out after the end
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
  detachSource();
  // The audio thread no longer sees the source: the chase (MIDI) or the
  // decoder's seek and prefill (MP3, WAV) runs without the audio lock; the
  // next play() hands the source back.
  audio::MediaError e = source_->seek(target);
  malloc_trim(0);  // instruments a MIDI chase let go of leave memory
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

// What is heard lags the render head: the frames of the buffer being
// filled, then the output latency, less the time since that buffer's
// callback began; never before the point where this play started.
int64_t MediaDevice::framesBehindHead(int64_t nowNs) const {
  if (mode_ != Playing) return 0;
  int64_t behind = latencyFrames_;
  if (callbackSeen_) {
    const int64_t elapsed = std::clamp<int64_t>((nowNs - callbackNs_) * rate_ / 1000000000, 0, bufferFrames_);
    behind += (framesSincePlay_ - callbackFrame_) - elapsed;
  }
  return std::clamp<int64_t>(behind, 0, framesSincePlay_);
}

int64_t MediaDevice::position() {
  checkEnded();
  if (mode_ == NotOpen) {
    setError(audio::kErrNotOpen);
    return 0;
  }
  lockAudio();
  const int64_t pos = source_->positionAt(framesBehindHead(NowNs()));
  unlockAudio();
  setError(audio::kErrNone);
  return pos;
}

int64_t MediaDevice::msUntil(int64_t target) {
  checkEnded();
  if (mode_ != Playing) {
    setError(mode_ == NotOpen ? audio::kErrNotOpen : audio::kErrNone);
    return -1;
  }
  setError(audio::kErrNone);
  lockAudio();
  if (target > source_->length()) {
    unlockAudio();
    return -1;
  }
  const int64_t now = NowNs();
  const int64_t behind = framesBehindHead(now);
  const int64_t ahead = source_->framesUntil(target);
  unlockAudio();
  // Heard frames still to come before the target is heard.
  const int64_t frames = ahead + behind;
  if (frames <= 0) return 0;
  return (frames * 1000 + rate_ - 1) / rate_;
}

int64_t MediaDevice::firstRenderNs() {
  lockAudio();
  const int64_t ns = firstRenderNs_;
  unlockAudio();
  return ns;
}

std::vector<MediaDevice::CallbackMark> MediaDevice::callbackLog() {
  std::vector<CallbackMark> log;
  log.reserve(kCallbackLog);
  lockAudio();
  const int64_t first = std::max<int64_t>(0, markCount_ - kCallbackLog);
  for (int64_t i = first; i < markCount_; ++i) log.push_back(marks_[static_cast<size_t>(i % kCallbackLog)]);
  unlockAudio();
  return log;
}

int64_t MediaDevice::playFrameOf(int64_t target) {
  if (mode_ != Playing) return -1;
  lockAudio();
  const int64_t frame = framesSincePlay_ + source_->framesUntil(std::min(target, source_->length()));
  unlockAudio();
  return frame;
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

int MediaDevice::voices(bool heardOnly) {
  checkEnded();
  setError(audio::kErrNone);
  if (!source_) return 0;
  lockAudio();
  const bool heard = rendering_ && (!ended_ || !ringOut_.done());
  const int n = heard || !heardOnly ? source_->activeVoices() : 0;
  unlockAudio();
  return n;
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
