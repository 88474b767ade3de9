#pragma once
// A song that the media device can render: a MIDI sequence through the
// synthesiser, or a decoded MP3 or WAV file. The device owns one at a time.
//
// Threads: a source is not thread-safe by itself. The device calls every
// method either from the UI thread while it holds the audio lock, or from the
// audio thread inside its callback (render only). The offline renderer calls
// everything from one thread. render() must be real-time safe: it never
// allocates, frees, locks, reads files or logs.
#include <cstdint>
#include <memory>
#include <string>

namespace melvar::audio {

// An error as a value: a nonzero code and a text for the user. Code 0 is success.
struct MediaError {
  int code = 0;
  std::string text;
  bool ok() const { return code == 0; }
};

// Error codes shared by the engine, the device and its callers.
enum MediaErrorCode : int {
  kErrNone = 0,
  kErrFileNotFound = 1,      // the file does not exist or cannot be read
  kErrCannotPlayType = 2,    // no device plays files of this kind (extension)
  kErrBadFile = 3,           // the file is damaged or not of its stated kind
  kErrNoSoundFont = 4,       // no General MIDI SoundFont installed
  kErrNoOutput = 5,          // the audio output cannot be opened
  kErrNotOpen = 6,           // an operation that needs an open song
  kErrBadCommand = 7,        // a command string that cannot be parsed
  kErrWrongDevice = 8,       // a command names a file other than the open song
  kErrTempoOutOfRange = 9,   // a tempo of 0 or beyond the device's range
  kErrNotSupported = 10,     // the open song does not support the operation
  kErrOutOfRange = 11,       // a seek target beyond the song
  kErrInternal = 12,         // a library call failed unexpectedly
  kErrInterrupted = 13,      // a close or another open came while a song was being opened
};

enum class SourceKind { Midi, Mpeg, Wave };

class SongSource {
 public:
  virtual ~SongSource() = default;

  virtual SourceKind kind() const = 0;

  // Output sample rate the source renders at (frames per second).
  virtual int sampleRate() const = 0;

  // Length of the song in the device's unit: sixteenth notes for MIDI
  // (tick of the last event x 4 / division, truncated), milliseconds for MP3/WAV.
  virtual int64_t length() const = 0;

  // Position, in the same unit, of the frame lying `framesBehind` frames
  // before the render head (the device passes its output latency so the
  // position is what is being heard). Never below 0, never above length().
  virtual int64_t positionAt(int64_t framesBehind) const = 0;

  // Frames from the render head to the first frame whose position is at
  // least `target` (same unit), at the tempo now in force: 0 or less when
  // the head is there already. `target` must not exceed length().
  virtual int64_t framesUntil(int64_t target) const = 0;

  // Moves the render head to `target` (same unit; clamped to [0, length]).
  // MIDI: every sounding note ends and the state at the target (programs,
  // controllers, pitch bends, pressure, tempo) is chased. Not real-time safe.
  virtual MediaError seek(int64_t target) = 0;

  // Renders `frames` interleaved stereo float frames into `out` (always fills
  // all of them; silence after the end). Audio thread: real-time safe.
  virtual void render(float* out, int frames) = 0;

  // True once the render head has passed the song's last event / last sample.
  // After that, render() only lets sounding notes ring out.
  virtual bool finished() const = 0;

  // The song's own tempo in whole beats per minute (MIDI: its first tempo
  // event, else 120); 0 for songs without a tempo.
  virtual int baseBpm() const { return 0; }

  // Tempo in beats per minute, taking effect at once. MIDI only; others
  // return kErrNotSupported. Not called from the audio thread.
  virtual MediaError setTempo(int bpm) { (void)bpm; return {kErrNotSupported, "Tempo changes need a MIDI song"}; }

  // Synthesiser voices sounding or ringing (MIDI); 0 for other songs.
  virtual int activeVoices() const { return 0; }
};

}  // namespace melvar::audio
