#include "songs.h"

#include <string>

namespace melvar::mkdemo {
namespace {

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

SongDef Twinkle() {
  SongDef s;
  s.fileName = "twinkle-twinkle-little-star.kar";
  s.title = "Twinkle, Twinkle, Little Star";
  s.subtitle = "Traditional";
  s.language = "ENGL";
  s.meter.beats = 4;
  s.bpm = 112;
  s.introBars = 2;
  // Written in C, played an octave up on the flute.
  const std::string refrain =
      "C4:q C4:q G4:q G4:q | A4:q A4:q G4:h | F4:q F4:q E4:q E4:q | D4:q D4:q C4:h | ";
  const std::string middle =
      "G4:q G4:q F4:q F4:q | E4:q E4:q D4:h | G4:q G4:q F4:q F4:q | E4:q E4:q D4:h | ";
  const std::string verse = refrain + middle + refrain;
  s.melody = "r:w | r:w | " + verse + verse + "r:w |";
  s.melodyTranspose = 12;
  const std::string refrainChords = "C:w | F:h C:h | F:h C:h | G:h C:h | ";
  const std::string middleChords = "C:h G7:h | C:h G:h | C:h G7:h | C:h G:h | ";
  const std::string verseChords = refrainChords + middleChords + refrainChords;
  s.chords = "C:w | G7:w | " + verseChords + verseChords + "C:w |";
  s.lyrics =
      "\\ Twin-kle, twin-kle, lit-tle star, / How I won-der what you are! "
      "/ Up a-bove the world so high, / Like a dia-mond in the sky. "
      "/ Twin-kle, twin-kle, lit-tle star, / How I won-der what you are! "
      "\\ When the bla-zing sun is gone, / When he no-thing shines up-on, "
      "/ Then you show your lit-tle light, / Twin-kle, twin-kle, all the night. "
      "/ Twin-kle, twin-kle, lit-tle star, / How I won-der what you are!";
  s.melodyProgram = 73;  // flute
  s.chordProgram = 0;    // acoustic grand piano
  s.bassProgram = 32;    // acoustic bass
  s.accompaniment = Accompaniment::Block;
  return s;
}

SongDef FrereJacques() {
  SongDef s;
  s.fileName = "frere-jacques.kar";
  // 8-bit text: 0xE8 is the Windows-1252 byte for e grave.
  s.title = "Fr\xE8" "re Jacques";
  s.subtitle = "Traditional (France)";
  s.language = "FREN";
  s.meter.beats = 4;
  s.bpm = 112;
  s.introBars = 2;
  const std::string verse =
      "F4:q G4:q A4:q F4:q | F4:q G4:q A4:q F4:q | A4:q Bb4:q C5:h | A4:q Bb4:q C5:h | "
      "C5:e D5:e C5:e Bb4:e A4:q F4:q | C5:e D5:e C5:e Bb4:e A4:q F4:q | "
      "F4:q C4:q F4:h | F4:q C4:q F4:h | ";
  const std::string restBar = "r:w | ";
  // Sung once alone, then as a round: the second voice enters two bars
  // after the melody in the second verse.
  s.melody = Repeat(restBar, 2) + verse + verse + Repeat(restBar, 3);
  s.secondVoice = Repeat(restBar, 12) + verse + restBar;
  s.secondVoiceTranspose = -12;
  s.chords = Repeat("F:w | ", 21);
  s.lyrics =
      "\\ Fr\xE8-re Jac-ques, fr\xE8-re Jac-ques, / Dor-mez~vous? Dor-mez~vous? "
      "/ Son-nez les ma-ti-nes, / son-nez les ma-ti-nes, / Ding, dang, dong. / Ding, dang, dong. "
      "\\ Are you sleep-ing, / are you sleep-ing, / Bro-ther John? Bro-ther John? "
      "/ Mor-ning bells are ring-ing, / mor-ning bells are ring-ing, / Ding, dang, dong. / Ding, dang, dong.";
  s.melodyProgram = 68;       // oboe
  s.secondVoiceProgram = 70;  // bassoon
  s.chordProgram = 24;        // nylon-string guitar
  s.bassProgram = 32;
  s.accompaniment = Accompaniment::Arpeggio;
  return s;
}

SongDef AmazingGrace() {
  SongDef s;
  s.fileName = "amazing-grace.kar";
  s.title = "Amazing Grace";
  s.subtitle = "Traditional (words: John Newton)";
  s.language = "ENGL";
  s.meter.beats = 3;
  s.bpm = 76;
  s.introBars = 2;
  s.melody =
      "r:h. | r:h D4:q | "
      "G4:h B4:e G4:e | B4:h A4:q | G4:h E4:q | D4:h D4:q | "
      "G4:h B4:e G4:e | B4:h A4:q | D5:h.- | D5:h B4:q | "
      "D5:h B4:e G4:e | B4:h A4:q | G4:h E4:q | D4:h D4:q | "
      "G4:h B4:e G4:e | B4:h A4:q | G4:h.- | G4:h. |";
  s.chords =
      "G:h. | D7:h. | "
      "G:h. | G7:h. | C:h. | G:h. | G:h. | Em:h D:q | D:h. | D7:h. | "
      "G:h. | G7:h. | C:h. | G:h. | G:h. | Em:h D7:q | G:h. | G:h. |";
  s.lyrics =
      "\\ A-ma-zing _ grace, / how sweet the sound / That saved a _ wretch like me. "
      "/ I once was _ lost, / but now am found, / Was blind, but _ now I see.";
  // A ritardando over the last phrase.
  s.tempoChanges = {{14, 0, 72}, {15, 0, 66}, {16, 0, 60}, {17, 0, 54}};
  s.melodyProgram = 71;  // clarinet
  s.chordProgram = 48;   // string ensemble
  s.bassProgram = 32;
  s.accompaniment = Accompaniment::Pad;
  s.hatKey = 51;  // ride cymbal, softer than a hi-hat for a hymn
  return s;
}

SongDef OdeToJoy() {
  SongDef s;
  s.fileName = "ode-to-joy.mid";
  s.title = "Ode to Joy (instrumental)";
  s.meter.beats = 4;
  s.bpm = 108;
  s.introBars = 1;
  const std::string phraseA = "E4:q E4:q F4:q G4:q | G4:q F4:q E4:q D4:q | C4:q C4:q D4:q E4:q | ";
  s.melody = "r:w | " + phraseA + "E4:q. D4:e D4:h | " + phraseA + "D4:q. C4:e C4:h | " +
             "D4:q D4:q E4:q C4:q | D4:q E4:e F4:e E4:q C4:q | D4:q E4:e F4:e E4:q D4:q | C4:q D4:q G3:h | " +
             phraseA + "D4:q. C4:e C4:h | r:w |";
  s.melodyTranspose = 12;
  const std::string chordsA = "C:w | G7:w | C:w | ";
  s.chords = "C:w | " + chordsA + "C:h G:h | " + chordsA + "G:h C:h | " + "G:h C:h | G:h C:h | G:h C:h | C:h G:h | " +
             chordsA + "G:h C:h | C:w |";
  s.melodyProgram = 56;  // trumpet
  s.chordProgram = 48;   // string ensemble
  s.bassProgram = 33;    // electric bass (finger)
  s.accompaniment = Accompaniment::Pad;
  s.snareKey = 38;
  return s;
}

}  // namespace

std::vector<SongDef> DemoSongs() { return {Twinkle(), FrereJacques(), AmazingGrace(), OdeToJoy()}; }

}  // namespace melvar::mkdemo
