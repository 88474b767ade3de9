#include "midi_source.h"

#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>

namespace melvar::midi {
namespace {

using audio::MediaError;
using i128 = __int128;

bool Readable(const std::string& path) { return !path.empty() && access(path.c_str(), R_OK) == 0; }

int64_t FloorDiv(i128 num, i128 den) {
  i128 q = num / den;
  if ((num % den != 0) && ((num < 0) != (den < 0))) --q;
  return static_cast<int64_t>(q);
}
int64_t CeilDiv(i128 num, i128 den) { return -FloorDiv(-num, den); }

// ---------------------------------------------------------------------------
// The synthesiser. Loading a large SoundFont takes seconds, so the process
// keeps one synthesiser with the font loaded and lends it to each source in
// turn. A source opened while the shared one is lent out gets its own.

struct Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  int sampleRate = 0;
  std::string font;
  // Frames written since the synthesiser was made. FluidSynth renders in
  // blocks of 64 frames and hands out the rest of a block on the next call;
  // this tells how much of a block is still waiting.
  int64_t framesWritten = 0;
  // Presets held in memory for the song that has the synthesiser (see
  // PinSongPresets); released when the song gives the synthesiser back.
  std::vector<std::array<int, 3>> pinned;  // sfont id, bank, program
  int fontId = 0;
  // The bank and program a reset gives each channel (bank 128 on the drum
  // channel); BareReset sets them but selects no preset.
  std::array<std::array<int, 2>, 16> resetProgram{};
};

constexpr int kSynthBlock = 64;

// Back to the power-on state with nothing sounding. The reset alone lets
// sounding voices run on (and a reset after "all sounds off" revives them),
// so the voices are cut after it.
void SilenceAndReset(fluid_synth_t* synth) {
  fluid_synth_system_reset(synth);
  fluid_synth_all_sounds_off(synth, -1);
}

// Back to the power-on state, but with no channel holding an instrument,
// so none is read from the disk: the font's banks are out of reach while
// the reset looks them up. Holding none, a channel is silent until a
// program change, or SelectResetPreset, gives it one.
void BareReset(Synth* s) {
  constexpr int kOutOfReach = 1 << 20;  // above every bank number a song can select
  fluid_synth_set_bank_offset(s->synth, s->fontId, kOutOfReach);
  SilenceAndReset(s->synth);
  fluid_synth_set_bank_offset(s->synth, s->fontId, 0);
}

// Gives a channel, after BareReset, the preset the reset would have given it.
void SelectResetPreset(Synth* s, int ch) {
  fluid_synth_program_select(s->synth, ch, s->fontId, s->resetProgram[ch][0], s->resetProgram[ch][1]);
}

void UnpinPresets(Synth* s) {
  for (const auto& p : s->pinned) fluid_synth_unpin_preset(s->synth, p[0], p[1], p[2]);
  s->pinned.clear();
}

void DestroySynth(Synth* s) {
  if (s->synth) delete_fluid_synth(s->synth);
  if (s->settings) delete_fluid_settings(s->settings);
  *s = Synth{};
}

MediaError CreateSynth(int sampleRate, const std::string& font, Synth* out) {
  static std::once_flag quiet;
  // FluidSynth's warnings ("no preset found" and the like) would be printed
  // from the audio thread; errors still reach stderr.
  std::call_once(quiet, [] {
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  });
  Synth s;
  s.settings = new_fluid_settings();
  if (!s.settings) return {audio::kErrInternal, "The synthesiser's settings cannot be created"};
  fluid_settings_setnum(s.settings, "synth.sample-rate", sampleRate);
  // The owner serialises all calls (the device's audio lock), so the
  // synthesiser needs no lock of its own, and no worker threads.
  fluid_settings_setint(s.settings, "synth.threadsafe-api", 0);
  fluid_settings_setint(s.settings, "synth.cpu-cores", 1);
  // Only the instruments a song uses are read into memory (a General MIDI
  // font is 150 MB, a song uses a few MB of it). A preset's samples are read
  // when it is selected on a channel, so every song selects all of its
  // presets when it is opened, before it plays (PinSongPresets): the audio
  // thread never reads the disk.
  fluid_settings_setint(s.settings, "synth.dynamic-sample-loading", 1);
  // Locking each sample block into memory as it is read costs more than the
  // read itself (25 against 8 ms for a song's instruments), and an ordinary
  // user's lock limit (8 MB) would leave most of them unlocked anyway.
  fluid_settings_setint(s.settings, "synth.lock-memory", 0);
  s.synth = new_fluid_synth(s.settings);
  if (!s.synth) {
    DestroySynth(&s);
    return {audio::kErrInternal, "The synthesiser cannot be created"};
  }
  s.fontId = fluid_synth_sfload(s.synth, font.c_str(), 1);
  if (s.fontId == FLUID_FAILED) {
    DestroySynth(&s);
    return {audio::kErrNoSoundFont, "The SoundFont " + font + " cannot be loaded"};
  }
  // Loading selected the reset's instruments (piano, drums); a song takes
  // what it uses when it opens.
  BareReset(&s);
  for (int ch = 0; ch < 16; ++ch) {
    int unused = 0;
    fluid_synth_get_program(s.synth, ch, &unused, &s.resetProgram[ch][0], &s.resetProgram[ch][1]);
  }
  s.sampleRate = sampleRate;
  s.font = font;
  *out = s;
  return {};
}

std::mutex g_poolMutex;
Synth g_shared;
bool g_sharedLent = false;

// Makes sure the shared synthesiser exists for this rate and font. Caller holds the pool lock.
MediaError PrepareSharedLocked(int sampleRate, const std::string& font) {
  if (g_shared.synth && g_shared.sampleRate == sampleRate && g_shared.font == font) return {};
  if (g_sharedLent) return {audio::kErrInternal, "busy"};
  DestroySynth(&g_shared);
  return CreateSynth(sampleRate, font, &g_shared);
}

MediaError AcquireSynth(int sampleRate, Synth* out, bool* shared) {
  const std::string font = FindSoundFont();
  if (font.empty())
    return {audio::kErrNoSoundFont,
            "No General MIDI SoundFont is installed: install the package fluid-soundfont-gm (or timgm6mb-soundfont)"};
  std::lock_guard<std::mutex> lock(g_poolMutex);
  if (!g_sharedLent) {
    MediaError e = PrepareSharedLocked(sampleRate, font);
    if (!e.ok()) return e;
    g_sharedLent = true;
    BareReset(&g_shared);
    *out = g_shared;
    *shared = true;
    return {};
  }
  *shared = false;
  return CreateSynth(sampleRate, font, out);
}

void ReleaseSynth(Synth* s, bool shared) {
  if (!s->synth) return;
  if (shared) {
    BareReset(s);
    UnpinPresets(s);  // the song's instruments leave memory with it
    std::lock_guard<std::mutex> lock(g_poolMutex);
    g_shared.framesWritten = s->framesWritten;
    g_sharedLent = false;
    *s = Synth{};
  } else {
    DestroySynth(s);
  }
}

// Universal system-exclusive messages of the MIDI tuning standard (sub-ID
// 08): the synthesiser builds a tuning table for them, which allocates.
bool AllocatesInSynth(const uint8_t* d, uint32_t n) {
  return n >= 3 && (d[0] == 0x7E || d[0] == 0x7F) && d[2] == 0x08;
}

// ---------------------------------------------------------------------------
// Time. A song position is measured in "song units": microseconds x D, where
// D is the division (metrical files) or frames-per-100-s x ticks-per-frame
// (SMPTE files). A tick in a tempo segment is worth `rate` units (the
// segment's microseconds per quarter, or 1e8 for SMPTE), so every tick has an
// exact integer unit value and frame positions are computed from it afresh,
// never accumulated.

struct Segment {
  int64_t tick;
  int64_t unit;
  int64_t rate;
};

// Where the frame clock and the song clock last met: at `frame`, the song
// stood at `unit` and played at `bpm`. A seek makes a barrier: frames before
// it belong to the previous song position and are reported as the target.
struct Anchor {
  int64_t frame = 0;
  int64_t unit = 0;
  int bpm = 120;
  bool barrier = true;
};

class MidiSourceImpl final : public MidiSource {
 public:
  MidiSourceImpl(MidiSong song, int sampleRate, Synth synth, bool sharedSynth)
      : song_(std::move(song)), sampleRate_(sampleRate), synth_(std::move(synth)), shared_(sharedSynth) {
    const int64_t den = song_.smpte ? int64_t{song_.smpteFps100} * song_.smpteTicksPerFrame : song_.division;
    unitsPerMicro_ = den;
    int64_t unit = 0;
    for (size_t i = 0; i < song_.tempos.size(); ++i) {
      const TempoPoint& tp = song_.tempos[i];
      if (i > 0) unit += (tp.tick - segments_.back().tick) * segments_.back().rate;
      segments_.push_back({tp.tick, unit, song_.smpte ? int64_t{100000000} : int64_t{tp.microsPerQuarter}});
    }
    PinSongPresets();
    baseBpm_ = std::max<int>(1, static_cast<int>(60000000u / std::max<uint32_t>(1, song_.firstTempoMicros)));
    length_ = song_.LengthSixteenths();
    Anchor a;
    a.bpm = baseBpm_;
    anchors_[0] = a;
    anchorCount_ = 1;
    RecomputeNextFrame();
  }

  ~MidiSourceImpl() override { ReleaseSynth(&synth_, shared_); }

  audio::SourceKind kind() const override { return audio::SourceKind::Midi; }
  int sampleRate() const override { return sampleRate_; }
  int64_t length() const override { return length_; }

  int64_t positionAt(int64_t framesBehind) const override {
    const int64_t frame = head_ - std::max<int64_t>(0, framesBehind);
    // The newest anchor at or before the frame; a barrier hides what lies before it.
    int idx = anchorCount_ - 1;
    while (idx > 0 && anchors_[idx].frame > frame && !anchors_[idx].barrier) --idx;
    const Anchor& a = anchors_[idx];
    const int64_t unit = frame <= a.frame ? a.unit : UnitAtFrame(a, frame);
    return std::clamp<int64_t>(song_.SixteenthOfTick(TickOfUnit(unit)), 0, length_);
  }

  int64_t framesUntil(int64_t target) const override {
    const int64_t unit = UnitOfTick(std::min(song_.TickOfSixteenth(std::max<int64_t>(target, 0)), song_.lastTick));
    return FrameOfUnit(anchors_[anchorCount_ - 1], unit) - head_;
  }

  MediaError seek(int64_t target) override {
    target = std::clamp<int64_t>(target, 0, length_);
    const int64_t tick = std::min(song_.TickOfSixteenth(target), song_.lastTick);
    ResetForSong();
    // Frames the synthesiser rendered before the reset and still holds would
    // be heard after the jump: write them away, and one block more so the
    // reset has taken effect (voices freed) before the chase. The song's
    // clock does not move.
    WriteSynth(scratch_.data(), 0,
               static_cast<int>((kSynthBlock - synth_.framesWritten % kSynthBlock) % kSynthBlock));
    WriteSynth(scratch_.data(), 0, kSynthBlock);
    // Chase the state at the target: every controller, program, bend,
    // pressure and system-exclusive message before it, in file order (so
    // parameter-number sequences and resets keep their meaning). Notes are not
    // replayed, so nothing sounds until the next note at or after the target.
    size_t i = 0;
    for (; i < song_.events.size() && song_.events[i].tick < tick; ++i) {
      const MidiEvent& ev = song_.events[i];
      const int kind = ev.status & 0xF0;
      if (kind == 0x80 || kind == 0x90 || kind == 0xA0) continue;
      Dispatch(ev, false);
    }
    next_ = i;
    Anchor a;
    a.frame = head_;
    a.unit = UnitOfTick(tick);
    a.bpm = anchors_[anchorCount_ - 1].bpm;
    a.barrier = true;
    PushAnchor(a);
    finished_ = false;
    RecomputeNextFrame();
    return {};
  }

  void render(float* out, int frames) override {
    int done = 0;
    while (done < frames) {
      while (next_ < song_.events.size() && nextFrame_ <= head_) {
        Dispatch(song_.events[next_], true);
        ++next_;
        RecomputeNextFrame();
      }
      int64_t chunk = frames - done;
      if (next_ < song_.events.size()) chunk = std::min<int64_t>(chunk, nextFrame_ - head_);
      const int n = static_cast<int>(chunk);
      WriteSynth(out, done, n);
      done += n;
      head_ += n;
      if (next_ >= song_.events.size()) finished_ = true;
    }
  }

  bool finished() const override { return finished_; }

  MediaError setTempo(int bpm) override {
    if (bpm < 1 || bpm > 1000)
      return {audio::kErrTempoOutOfRange,
              "The tempo " + std::to_string(bpm) + " is out of range: give 1 to 1000 beats per minute"};
    const Anchor& cur = anchors_[anchorCount_ - 1];
    if (bpm == cur.bpm) return {};
    Anchor a;
    a.frame = head_;
    a.unit = head_ <= cur.frame ? cur.unit : UnitAtFrame(cur, head_);
    a.bpm = bpm;
    a.barrier = false;
    PushAnchor(a);
    RecomputeNextFrame();
    return {};
  }

  const MidiSong& song() const override { return song_; }
  int baseBpm() const override { return baseBpm_; }
  int tempoBpm() const override { return anchors_[anchorCount_ - 1].bpm; }
  int64_t headFrame() const override { return head_; }

  int channelProgram(int channel) const override {
    int sfont = 0, bank = 0, preset = 0;
    if (fluid_synth_get_program(synth_.synth, channel, &sfont, &bank, &preset) != FLUID_OK) return -1;
    return preset;
  }
  int channelBank(int channel) const override {
    int sfont = 0, bank = 0, preset = 0;
    if (fluid_synth_get_program(synth_.synth, channel, &sfont, &bank, &preset) != FLUID_OK) return -1;
    return bank;
  }
  int channelController(int channel, int controller) const override {
    int v = 0;
    if (fluid_synth_get_cc(synth_.synth, channel, controller, &v) != FLUID_OK) return -1;
    return v;
  }
  int channelPitchBend(int channel) const override {
    int v = 0;
    if (fluid_synth_get_pitch_bend(synth_.synth, channel, &v) != FLUID_OK) return -1;
    return v;
  }
  int activeVoices() const override { return fluid_synth_get_active_voice_count(synth_.synth); }

 private:
  int64_t UnitOfTick(int64_t tick) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                               [](int64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *(it == segments_.begin() ? it : it - 1);
    return s.unit + (tick - s.tick) * s.rate;
  }

  int64_t TickOfUnit(int64_t unit) const {
    if (unit <= 0) return 0;
    auto it = std::upper_bound(segments_.begin(), segments_.end(), unit,
                               [](int64_t u, const Segment& s) { return u < s.unit; });
    const Segment& s = *(it == segments_.begin() ? it : it - 1);
    return s.tick + (unit - s.unit) / s.rate;
  }

  // Song units per output frame = D x 1e6 x bpm / (rate x base bpm).
  int64_t UnitAtFrame(const Anchor& a, int64_t frame) const {
    const i128 num = i128(frame - a.frame) * unitsPerMicro_ * 1000000 * a.bpm;
    const i128 den = i128(sampleRate_) * baseBpm_;
    return a.unit + FloorDiv(num, den);
  }

  int64_t FrameOfUnit(const Anchor& a, int64_t unit) const {
    const i128 num = i128(unit - a.unit) * sampleRate_ * baseBpm_;
    const i128 den = i128(unitsPerMicro_) * 1000000 * a.bpm;
    return a.frame + CeilDiv(num, den);
  }

  void RecomputeNextFrame() {
    if (next_ < song_.events.size())
      nextFrame_ = std::max(head_, FrameOfUnit(anchors_[anchorCount_ - 1], UnitOfTick(song_.events[next_].tick)));
  }

  void WriteSynth(float* out, int offsetFrames, int frames) {
    if (frames <= 0) return;
    fluid_synth_write_float(synth_.synth, frames, out, 2 * offsetFrames, 2, out, 2 * offsetFrames + 1, 2);
    synth_.framesWritten += frames;
  }

  void PushAnchor(const Anchor& a) {
    if (anchorCount_ == static_cast<int>(anchors_.size())) {
      std::move(anchors_.begin() + 1, anchors_.end(), anchors_.begin());
      --anchorCount_;
      anchors_[0].barrier = true;  // older history is gone
    }
    anchors_[anchorCount_++] = a;
  }

  // Sends one event to the synthesiser. On the audio thread, messages that
  // make the synthesiser allocate (tuning tables) are dropped; a seek's chase
  // applies them.
  void Dispatch(const MidiEvent& ev, bool onAudioThread) {
    fluid_synth_t* s = synth_.synth;
    const int ch = ev.status & 0x0F;
    switch (ev.status & 0xF0) {
      case 0x80: fluid_synth_noteoff(s, ch, ev.data1); break;
      case 0x90: fluid_synth_noteon(s, ch, ev.data1, ev.data2); break;
      case 0xA0: fluid_synth_key_pressure(s, ch, ev.data1, ev.data2); break;
      case 0xB0: fluid_synth_cc(s, ch, ev.data1, ev.data2); break;
      case 0xC0: fluid_synth_program_change(s, ch, ev.data1); break;
      case 0xD0: fluid_synth_channel_pressure(s, ch, ev.data1); break;
      case 0xE0: fluid_synth_pitch_bend(s, ch, ev.data1 | (ev.data2 << 7)); break;
      default:
        // Complete F0 messages only; F7 escapes carry arbitrary bytes.
        if (ev.status == 0xF0) {
          const PayloadSpan p = song_.PayloadOf(ev);
          if (p.length == 0 || (onAudioThread && AllocatesInSynth(song_.payload.data() + p.offset, p.length)))
            break;
          fluid_synth_sysex(s, reinterpret_cast<const char*>(song_.payload.data() + p.offset),
                            static_cast<int>(p.length), nullptr, nullptr, nullptr, 0);
        }
        break;
    }
  }

  // Selects every preset the song will select, on the synthesiser it has
  // not started to render with, and pins each: its samples are read from
  // the disk now and stay in memory until the song gives the synthesiser
  // back. The song's program, bank and system-exclusive messages are played
  // through in order, so the synthesiser itself resolves banks, drum
  // channels and missing presets. A channel keeps the preset a reset gives
  // it only where the song plays a note before its first program change:
  // a song without piano holds no piano.
  void PinSongPresets() {
    fluid_synth_t* s = synth_.synth;
    // True when the preset is held (a font may lack it).
    auto pin = [&](const std::array<int, 3>& key) {
      if (std::find(synth_.pinned.begin(), synth_.pinned.end(), key) != synth_.pinned.end()) return true;
      if (fluid_synth_pin_preset(s, key[0], key[1], key[2]) != FLUID_OK) return false;
      synth_.pinned.push_back(key);
      return true;
    };
    auto pinChannel = [&](int ch) {
      if (fluid_preset_t* preset = fluid_synth_get_channel_preset(s, ch))
        pin({fluid_sfont_get_id(fluid_preset_get_sfont(preset)), fluid_preset_get_banknum(preset),
             fluid_preset_get_num(preset)});
    };
    std::array<bool, 16> settled{};  // the channel's first note or program change has come
    resetPresetHeard_.fill(false);
    for (const MidiEvent& ev : song_.events) {
      const int kind = ev.status & 0xF0;
      const int ch = ev.status & 0x0F;
      if (kind == 0x90 && ev.data2 > 0 && !settled[ch]) {
        settled[ch] = true;
        resetPresetHeard_[ch] = pin({synth_.fontId, synth_.resetProgram[ch][0], synth_.resetProgram[ch][1]});
      } else if (kind == 0xB0 || ev.status == 0xF0) {
        Dispatch(ev, false);  // bank selects, and resets or drum-part changes by sysex
        if (ev.status == 0xF0)
          for (int c = 0; c < 16; ++c) pinChannel(c);
      } else if (kind == 0xC0) {
        Dispatch(ev, false);
        settled[ch] = true;
        pinChannel(ch);
      }
    }
    ResetForSong();
  }

  // The power-on state, where only the channels that play a note before
  // their first program change hold the preset a reset gives (pinned, so
  // nothing is read from the disk). The others hold none until the song's
  // program change; that change then unloads nothing on the audio thread.
  void ResetForSong() {
    BareReset(&synth_);
    for (int ch = 0; ch < 16; ++ch)
      if (resetPresetHeard_[ch]) SelectResetPreset(&synth_, ch);
  }

  MidiSong song_;
  int sampleRate_;
  Synth synth_;
  bool shared_;
  std::vector<Segment> segments_;
  int64_t unitsPerMicro_ = 1;
  int baseBpm_ = 120;
  int64_t length_ = 0;
  std::array<Anchor, 16> anchors_{};
  int anchorCount_ = 0;
  int64_t head_ = 0;
  size_t next_ = 0;
  int64_t nextFrame_ = 0;
  bool finished_ = false;
  std::array<float, 2 * kSynthBlock> scratch_{};
  // Per channel: a note plays there before its first program change, with
  // the preset a reset gives (which the font has).
  std::array<bool, 16> resetPresetHeard_{};
};

}  // namespace

std::string FindSoundFont() {
  if (const char* env = std::getenv("MELVAR_SOUNDFONT"); env && Readable(env)) return env;
  static const char* const kCandidates[] = {
      "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/soundfonts/default.sf2",
      "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/FluidR3_GM.sf2",
      "/usr/share/sounds/sf2/TimGM6mb.sf2",   "/usr/share/soundfonts/TimGM6mb.sf2",
  };
  for (const char* c : kCandidates)
    if (Readable(c)) return c;
  return "";
}

MediaError PreloadSynth(int sampleRate) {
  if (sampleRate < 8000 || sampleRate > 384000)
    return {audio::kErrInternal, "The sample rate " + std::to_string(sampleRate) + " is not supported"};
  const std::string font = FindSoundFont();
  if (font.empty())
    return {audio::kErrNoSoundFont,
            "No General MIDI SoundFont is installed: install the package fluid-soundfont-gm (or timgm6mb-soundfont)"};
  std::lock_guard<std::mutex> lock(g_poolMutex);
  if (g_sharedLent) return {};  // in use: it is loaded already
  return PrepareSharedLocked(sampleRate, font);
}

MediaError OpenMidiSource(std::vector<uint8_t> fileBytes, int sampleRate, std::unique_ptr<audio::SongSource>* out) {
  MidiSong song;
  MediaError e = ParseMidiFile(fileBytes.data(), fileBytes.size(), &song);
  if (!e.ok()) {
    out->reset();
    return e;
  }
  fileBytes = {};
  return OpenParsedMidiSource(std::move(song), sampleRate, out);
}

MediaError OpenParsedMidiSource(MidiSong song, int sampleRate, std::unique_ptr<audio::SongSource>* out) {
  out->reset();
  if (sampleRate < 8000 || sampleRate > 384000)
    return {audio::kErrInternal, "The sample rate " + std::to_string(sampleRate) + " is not supported"};
  MediaError e;
  Synth synth;
  bool shared = false;
  e = AcquireSynth(sampleRate, &synth, &shared);
  if (!e.ok()) return e;
  *out = std::make_unique<MidiSourceImpl>(std::move(song), sampleRate, std::move(synth), shared);
  return {};
}

}  // namespace melvar::midi
