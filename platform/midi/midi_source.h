#pragma once
// MIDI songs rendered through FluidSynth's synthesiser, driven by our own
// sequencer (no FluidSynth file player, no FluidSynth audio driver).
//
// Units: positions, lengths and seek targets are sixteenth notes
// (tick x 4 / division, truncated). The tempo command scales the file's own
// tempo map by bpm / (the song's own integer bpm).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi_file.h"
#include "song_source.h"

namespace melvar::midi {

// The General MIDI SoundFont to use: $MELVAR_SOUNDFONT if set and readable,
// else the first readable of /usr/share/sounds/sf2/default-GM.sf2,
// /usr/share/soundfonts/default.sf2, then FluidR3_GM.sf2, TimGM6mb.sf2 in
// those two folders. "" when none.
std::string FindSoundFont();

// Loads the SoundFont into the process's synthesiser once (thread-safe; may
// be called off the UI thread to preload). Calling it again is cheap.
audio::MediaError PreloadSynth(int sampleRate);

// Opens a Standard MIDI File (the whole file's bytes) for rendering at
// sampleRate. Errors: kErrBadFile for unreadable files, kErrNoSoundFont when
// no SoundFont is installed, kErrInternal when the synthesiser fails.
audio::MediaError OpenMidiSource(std::vector<uint8_t> fileBytes, int sampleRate,
                                 std::unique_ptr<audio::SongSource>* out);
// The same for a song already parsed (ParseMidiFile).
audio::MediaError OpenParsedMidiSource(MidiSong song, int sampleRate, std::unique_ptr<audio::SongSource>* out);

// The concrete source returned by OpenMidiSource (dynamic_cast to reach the
// inspection calls below, which tests and tools use).
class MidiSource : public audio::SongSource {
 public:
  // The parsed song (events merged in time order, tempo map).
  virtual const MidiSong& song() const = 0;
  // The tempo last set (baseBpm() until setTempo is called).
  virtual int tempoBpm() const = 0;
  // Frames rendered since open (the render head, in output frames).
  virtual int64_t headFrame() const = 0;
  // Synthesiser state of a channel (0..15): program number, controller value
  // (-1 on a bad argument), and the number of voices sounding.
  virtual int channelProgram(int channel) const = 0;
  virtual int channelBank(int channel) const = 0;
  virtual int channelController(int channel, int controller) const = 0;
  virtual int channelPitchBend(int channel) const = 0;
};

}  // namespace melvar::midi
