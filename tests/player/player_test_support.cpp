#include "tests/player/player_test_support.h"

#include "platform/win/gui.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace player_test {

namespace {

void PutVarLen(std::string &out, uint32_t value) {
  uint8_t bytes[5];
  int n = 0;
  bytes[n++] = value & 0x7F;
  while (value >>= 7) bytes[n++] = 0x80 | (value & 0x7F);
  while (n) out.push_back(static_cast<char>(bytes[--n]));
}

void Put32(std::string &out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::string Chunk(const char *id, const std::string &body) {
  std::string out(id, 4);
  Put32(out, static_cast<uint32_t>(body.size()));
  return out + body;
}

// Events as (tick, bytes), written in tick order with delta times.
std::string Track(std::multimap<uint32_t, std::string> events, uint32_t endTick) {
  std::string body;
  uint32_t now = 0;
  for (auto &[tick, bytes] : events) {
    PutVarLen(body, tick - now);
    body += bytes;
    now = tick;
  }
  PutVarLen(body, endTick > now ? endTick - now : 0);
  body += std::string("\xFF\x2F\x00", 3);
  return Chunk("MTrk", body);
}

std::vector<RecordedMessage> *g_recorded = nullptr;

LRESULT OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_recorded) g_recorded->push_back({message, wParam, lParam});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

std::string MakeType1Song(uint16_t ticksPerQuarter, const std::vector<Tempo> &tempi,
                          const std::vector<Note> &notes, uint8_t program) {
  std::string header;
  header += std::string("\x00\x01\x00\x02", 4);
  header.push_back(static_cast<char>(ticksPerQuarter >> 8));
  header.push_back(static_cast<char>(ticksPerQuarter & 0xFF));
  std::multimap<uint32_t, std::string> tempoEvents;
  for (const Tempo &t : tempi) {
    std::string e("\xFF\x51\x03", 3);
    e.push_back(static_cast<char>((t.usPerQuarter >> 16) & 0xFF));
    e.push_back(static_cast<char>((t.usPerQuarter >> 8) & 0xFF));
    e.push_back(static_cast<char>(t.usPerQuarter & 0xFF));
    tempoEvents.emplace(t.tick, e);
  }
  std::multimap<uint32_t, std::string> noteEvents;
  noteEvents.emplace(0, std::string{'\xC0', static_cast<char>(program)});
  for (const Note &n : notes) {
    // Offs before ons at the same tick, so repeated keys restart cleanly.
    noteEvents.emplace(n.tick + n.length, std::string{'\x80', static_cast<char>(n.key), '\x40'});
    noteEvents.emplace(n.tick, std::string{'\x90', static_cast<char>(n.key), '\x64'});
  }
  return Chunk("MThd", header) + Track(tempoEvents, 0) + Track(noteEvents, 0);
}

std::vector<std::optional<double>> MidoLengths(const std::vector<std::string> &paths) {
  TempDir folder("quavix-mido");
  const std::string list = folder.File("paths.txt");
  {
    std::ofstream out(list);
    for (const auto &p : paths) out << p << '\n';
  }
  // The paths go through a file, never through a command line.
  std::string command =
      "/usr/bin/python3 -c 'import sys, mido\n"
      "for p in open(sys.argv[1], encoding=\"utf-8\").read().splitlines():\n"
      "  try: print(\"%.9f\" % mido.MidiFile(p).length)\n"
      "  except Exception: print(\"x\")\n' " +
      list;
  std::vector<std::optional<double>> result;
  if (FILE *pipe = popen(command.c_str(), "r")) {
    char line[128];
    while (fgets(line, sizeof line, pipe)) {
      if (line[0] == 'x')
        result.emplace_back();
      else
        result.emplace_back(std::strtod(line, nullptr));
    }
    pclose(pipe);
  }
  return result;
}

bool PumpUntil(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents();
  }
  return true;
}

void PumpFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

RecordingOwner::RecordingOwner() {
  static std::vector<RecordedMessage> recorded;
  g_recorded = &recorded;
  recorded.clear();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = OwnerProc;
  wc.lpszClassName = "PlayerTestOwner";
  RegisterClassExA(&wc);
  hwnd_ = CreateWindowExA(0, "PlayerTestOwner", "Owner", WS_CAPTION | WS_SYSMENU, 200, 400, 400,
                          300, nullptr, nullptr, nullptr, nullptr);
}

RecordingOwner::~RecordingOwner() {
  if (hwnd_) DestroyWindow(hwnd_);
  g_recorded->clear();
}

int RecordingOwner::Count(UINT message, std::optional<WPARAM> wParam) const {
  int n = 0;
  for (const auto &m : *g_recorded)
    if (m.message == message && (!wParam || m.wParam == *wParam)) ++n;
  return n;
}

const std::vector<RecordedMessage> &RecordingOwner::messages() const { return *g_recorded; }
void RecordingOwner::Clear() { g_recorded->clear(); }

}  // namespace player_test
