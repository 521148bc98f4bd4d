// libFuzzer entry for the MIDI reader: any bytes must be read or refused
// without a crash, a hang or an allocation out of proportion to the input,
// and whatever is accepted must be internally consistent.
#include "platform/dshow/midi/midi_song.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string error;
  auto song = ReadMidiData(data, size, &error);
  if (!song) {
    if (error.empty()) std::abort();  // every refusal says why
    return 0;
  }
  if (song->Length() < 0 || song->Length() > kMaxMidiSongLength) std::abort();
  if (song->Events().size() > size) std::abort();  // each event takes at least one byte of the file
  REFERENCE_TIME last = 0;
  std::int64_t lastTick = 0;
  for (const MidiEvent &e : song->Events()) {
    if (e.time < last || e.tick < lastTick || e.time > song->Length()) std::abort();
    if (song->Payload(e).size() != e.dataLength) std::abort();
    last = e.time;
    lastTick = e.tick;
  }
  if (song->TickToTime(song->LengthTicks()) != song->Length()) std::abort();
  REFERENCE_TIME probe = song->Length() / 2;
  std::int64_t tick = song->TimeToTick(probe);
  if (song->TickToTime(tick) > probe || song->TickToTime(tick + 1) <= probe) std::abort();
  return 0;
}
