#pragma once
// The program's one media device (the window's MediaPlayer): opens a song,
// plays, stops, pauses and seeks it, reports its length, position and mode,
// and takes the tempo command string. Sound goes out through one SDL2 audio
// output, opened at the first open() (or preload()) and kept until the
// device is destroyed.
//
// Threads: every public method is for the UI thread only (the thread that
// owns this QObject). Opening a song (reading and parsing the file, loading
// the SoundFont and the song's instruments) runs on a helper thread while
// the UI thread runs its event loop. The SDL audio thread only renders the
// song; it never allocates, frees, reads files, waits or touches Qt objects:
// it reports the song's end through an eventfd that a socket notifier on the
// UI thread turns into notify(). Commands reach the audio thread under
// SDL_LockAudioDevice; a seek is prepared outside that lock.
//
// Units: MIDI songs in sixteenth notes, MP3 and WAV songs in milliseconds.
// Every operation, queries included, stores its result in the last error.
#include <QSocketNotifier>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <array>

#include "player_device.h"
#include "ring_out.h"
#include "song_source.h"

namespace melvar::device {

class MediaDevice : public PlayerDevice {
  Q_OBJECT

 public:
  // UI thread. Opens nothing yet; the audio output opens at the first
  // open() or preload().
  explicit MediaDevice(QObject* parent = nullptr);
  // UI thread. Closes the song and the audio output; waits for a preload
  // still running.
  ~MediaDevice() override;

  // UI thread. Opens the audio output and starts loading the SoundFont on a
  // helper thread, then returns at once. Call it once the window is shown,
  // so the first MIDI song starts without waiting for the SoundFont. An
  // open() that comes before the load is done waits for it as open() waits
  // for anything (the event loop runs). Returns the error code of opening
  // the output; a SoundFont that cannot be loaded is reported by open().
  int preload() override;

  // UI thread. Closes an open song first, then opens `path` (as given; its
  // extension, in any letter case, chooses the kind: .mid/.rmi, .mp3, .wav).
  // The work runs on a helper thread; meanwhile the UI thread runs its event
  // loop without user input (timers and paints go on, clicks and keys wait
  // until the song is open). Returns the error code (0 ok), also kept as
  // the last error; kErrInterrupted when a close() or another open() ran
  // from the event loop in the meantime.
  int open(const std::string& path) override;
  // UI thread. Closes the open song (a play in progress ends aborted); 0 when
  // nothing was open.
  int close() override;
  // UI thread. Plays from the current position; returns at once. The play
  // ends with exactly one notify(): Successful when it reaches the end,
  // Aborted when stop, pause, seek or close interrupts it.
  int play() override;
  // UI thread. Stops a play or a pause; the song stays open where it stopped.
  int stop() override;
  // UI thread. Halts a play; the next play() resumes at the same position.
  // Does nothing unless the song is playing.
  int pause() override;
  // UI thread. Moves to `target` (0..length) for the next play(); a play in
  // progress ends aborted and the song is stopped.
  int seek(int64_t target) override;

  // UI thread. The open song's length and position (what is being heard:
  // the render head less the output latency), 0 with no song open.
  int64_t length() override;
  int64_t position() override;
  // UI thread. Milliseconds until position() first reaches `target`, at the
  // tempo now in force: 0 when it has already, -1 when the song is not
  // playing or `target` lies beyond its end.
  int64_t msUntil(int64_t target) override;
  // UI thread. The device's mode; a play that reached the end reports
  // Stopped at once, before its notice arrives.
  Mode mode() override;

  // UI thread. The code stored by the last operation (0 = success).
  int lastError() const override { return lastError_; }
  // UI thread. Text for an error code: the detailed text of the last error
  // when `code` is that error, else the code's general text; "Unknown error
  // code" for a code the device does not know.
  std::string errorText(int code) const override;

  // UI thread. The command-string interface: set "<path>" tempo <bpm> wait.
  // The path must name the open song (ASCII letter case ignored); the tempo
  // (1..1000 beats per minute) takes effect at once. Returns the error code.
  int sendString(const std::string& command) override;

  // UI thread. Opens the audio output now if it is not open (open() does it
  // on first use). Returns the error code.
  int openOutput();
  // UI thread. The output latency: from the moment the audio callback
  // starts filling a buffer to the moment that buffer's first frame is
  // heard. It is the buffer SDL obtained (the output plays one buffer while
  // the next is filled); SDL tells no further latency of the sound server.
  // 0 while the output has not been opened.
  int outputLatencyFrames() const { return latencyFrames_; }
  int outputLatencyMs() const;
  int sampleRate() const { return rate_; }
  // UI thread, for benchmarks. When the callback began rendering the first
  // frames of the current play (steady clock, nanoseconds; 0 before it has),
  // and the callbacks' record: for each of the last kCallbackLog callbacks
  // while a play ran, when it began and the play's frames rendered before it.
  int64_t firstRenderNs();
  struct CallbackMark {
    int64_t ns = 0;
    int64_t frame = 0;
  };
  static constexpr int kCallbackLog = 8192;
  std::vector<CallbackMark> callbackLog();
  // The play's frame at which the render head reaches `target` at the tempo
  // now in force (-1 when not playing).
  int64_t playFrameOf(int64_t target);

  // UI thread, for benchmarks. The longest the UI thread held the audio
  // lock (which the callback must wait for) since the last call, in
  // nanoseconds; reading it starts a new measure.
  int64_t takeLongestLockNs();

  // UI thread. The open MIDI song's own tempo (first tempo event, else 120
  // beats per minute); 0 for MP3 and WAV songs and with nothing open.
  int songBpm() override;

  // UI thread. Synthesiser voices of the open song: with heardOnly, only
  // while the output renders them (a play or its ring-out runs); else all
  // the synthesiser holds, heard or not. 0 for MP3 and WAV songs and with
  // nothing open.
  int voices(bool heardOnly);

  // notify() is delivered queued on the UI thread; a notice of an earlier
  // play is dropped once a newer play has started.

 private:
  static void AudioCallback(void* self, uint8_t* stream, int len);
  void renderInto(float* out, int frames);

  int setError(int code, std::string text = {});
  void postNotice(int value);
  void checkEnded();          // turns an end seen by the audio thread into Stopped + notice
  void haltPlay(Mode next);   // ends a play in progress with Aborted
  void detachSource();        // the audio thread lets go of the source
  int64_t framesBehindHead(int64_t nowNs) const;  // under the audio lock
  void lockAudio();
  void unlockAudio();

  // UI-thread state.
  uint32_t output_ = 0;       // SDL_AudioDeviceID, 0 = not open
  int rate_ = 0;
  int bufferFrames_ = 0;
  int latencyFrames_ = 0;
  std::unique_ptr<audio::SongSource> source_;
  std::string path_;
  Mode mode_ = NotOpen;
  uint64_t generation_ = 0;   // counts plays; a notice carries the play's number
  uint64_t openCount_ = 0;    // counts open() and close(); an open that waited checks it
  int lastError_ = 0;
  std::string lastText_;
  int endFd_ = -1;            // eventfd: the audio thread's word that a song's end was rendered
  std::unique_ptr<QSocketNotifier> endNotifier_;
  std::thread preload_;
  int64_t lockedAtNs_ = 0;     // when the UI thread took the audio lock
  int64_t longestLockNs_ = 0;  // the longest it held it since takeLongestLockNs()

  // Shared with the audio callback; changed only under the audio lock.
  audio::SongSource* rendering_ = nullptr;  // the source while a play runs, else null
  int64_t framesSincePlay_ = 0;
  int64_t callbackNs_ = 0;     // when the last callback began (steady clock)
  int64_t callbackFrame_ = 0;  // framesSincePlay_ when it began
  bool callbackSeen_ = false;  // a callback has run since play()
  int64_t firstRenderNs_ = 0;
  std::array<CallbackMark, kCallbackLog> marks_{};
  int64_t markCount_ = 0;
  audio::RingOut ringOut_;
  bool ended_ = false;
  std::atomic<bool> endSeen_{false};        // set by the callback when the song's end is rendered
};

}  // namespace melvar::device
