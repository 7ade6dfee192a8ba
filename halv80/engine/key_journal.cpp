// The key journal: playback of a key script and recording of live keys.
// Every byte of a playback file is untrusted: a line longer than the buffer
// is cut there (the rest of it is read and dropped), numbers are bounded.
#include "halv80/engine/key_journal.h"

#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/sup_host.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

KeyJournal Journal;  // not constinit: the record file's name is a string

namespace {

constexpr i16 kReopenTicks = 100;  // idle ticks after which the record file is reopened

// The keyword at the start of the line, compared without regard to case;
// the position after it, or nullptr.
const char* after_keyword(const char* line, const char* word) {
  for (; *word != '\0'; ++word, ++line)
    if (host_ascii_upper(*line) != *word) return nullptr;
  return line;
}

// The next number of the text in `radix` (blanks and commas before it are
// skipped): false when there is none. Values are cut to 16 bits.
bool take_number(const char*& p, u16 radix, u16& out) {
  while (*p == ' ' || *p == '\t' || *p == ',') ++p;
  u32 value = 0;
  const char* start = p;
  for (;; ++p) {
    const char c = host_ascii_upper(*p);
    u32 digit;
    if (c >= '0' && c <= '9') digit = u32(c - '0');
    else if (c >= 'A' && c <= 'F') digit = u32(c - 'A' + 10);
    else break;
    if (digit >= radix) break;
    value = (value * radix + digit) & 0xFFFF;
  }
  if (p == start) return false;
  out = u16(value);
  return true;
}

// Reads the next line of the playback file into Line: LF skipped, CR ends
// it, a line longer than the buffer is cut there. False at the end of the
// file or on a read error (the file is then closed).
bool read_playback_line() {
  std::size_t n = 0;
  for (;;) {
    u8 c;
    if (sup_file_read(Journal.Playback, &c, 1) != 1) {
      sup_file_close(Journal.Playback);
      Journal.Playback = -1;
      if (n == 0) return false;
      break;  // the last line without its CR
    }
    if (c == '\n') continue;
    if (c == '\r') break;
    if (n < kJournalLineSize - 1) Journal.Line[n++] = char(c);
  }
  Journal.Line[n] = '\0';
  return true;
}

// Step 2: the next character of the line being typed, CR at its end.
u16 type_next() {
  Keys.flags = 0;
  Keys.code = 0;
  const u8 c = u8(Journal.Line[Journal.TypedAt]);
  if (c == 0) {
    Journal.Typing = 0;
    Journal.Ticks = 0;
    Keys.character = 13;
    return 1;
  }
  ++Journal.TypedAt;
  Journal.Ticks = i16(Journal.Ticks - Journal.TmKey);
  Keys.character = c;
  return 1;
}

void reopen_record() {
  sup_file_close(Journal.Record);
  Journal.Record = sup_file_open(Journal.RecordName, kFileModeReadWrite);
  if (Journal.Record != kNoFile && sup_file_seek(Journal.Record, 0, 2) == -1) {
    sup_file_close(Journal.Record);
    Journal.Record = kNoFile;
  }
}

// Step 5: a live key from the window side, recorded when recording.
u16 live_key() {
  if (co_wait_gui(kWaitKey)) {
    const bool pseudo = (Co.Key.key_code & kKeyPseudoMask) != 0;
    // a pseudo-key's code does not fit the record's one byte: not recorded
    if (Journal.Record != kNoFile && !pseudo) {
      const u8 record[3] = {Keys.flags, Keys.code, Keys.character};
      if (sup_file_write(Journal.Record, record, 3) != 3) {
        sup_file_close(Journal.Record);
        Journal.Record = kNoFile;
      }
      Journal.Written = 1;
    }
    Journal.Ticks = 0;
    return 1;
  }
  key_journal_count_ticks();
  if (Journal.Record != kNoFile && Journal.Ticks >= kReopenTicks && Journal.Written) {
    // the keys so far reach the disk, in case the program does not end well
    reopen_record();
    Journal.Written = 0;
  }
  return 0;
}

}  // namespace

void key_journal_open() {
  key_journal_close();
  if (Sw.KeyRecord) {
    Journal.RecordName = Sw.KeyRecordFile;
    Journal.Record = Journal.RecordName.empty() ? kNoFile : sup_file_create(Journal.RecordName);
  }
  if (Sw.KeyPlayback && !Sw.KeyPlaybackFile.empty())
    Journal.Playback = sup_file_open(Sw.KeyPlaybackFile, kFileModeRead);
  Journal.LastKeyInput = Co.Request.key_input;
}

void key_journal_close() {
  key_journal_close_record();
  if (Journal.Playback != kNoFile) sup_file_close(Journal.Playback);
  Journal.Playback = kNoFile;
  Journal.Typing = 0;
}

void key_journal_close_record() {
  if (Journal.Record != kNoFile) sup_file_close(Journal.Record);
  Journal.Record = kNoFile;
}

bool key_journal_playing() { return Journal.Playback != kNoFile || Journal.Typing != 0; }

void key_journal_count_ticks() {
  if (Co.Request.key_input == Journal.LastKeyInput) return;
  Journal.LastKeyInput = Co.Request.key_input;
  if (Journal.Ticks < 0x7FFF) ++Journal.Ticks;
}

u16 key_journal() {
  if (!key_journal_playing()) return live_key();
  // 1. The pause before a line, a code or the next character.
  if (Journal.Ticks < Journal.TmMax) {
    co_wait_gui(kWaitKey);
    key_journal_count_ticks();
    return 0;
  }
  // 2. A line being typed.
  if (Journal.Typing) return type_next();
  // 3. The next line; at the end of the file the live keys take over.
  if (!read_playback_line()) return live_key();
  // 4. What the line says.
  const char* line = Journal.Line;
  u16 value = 0;
  if (const char* p = after_keyword(line, "*TM_MAX")) {
    if (take_number(p, 10, value)) Journal.TmMax = i16(value & 0x7FFF);
    return 0;
  }
  if (const char* p = after_keyword(line, "*TM_KEY")) {
    if (take_number(p, 10, value)) Journal.TmKey = i16(value & 0x7FFF);
    return 0;
  }
  if (const char* p = after_keyword(line, "*CODE ")) {
    u16 a = 0, b = 0, c = 0;
    const u16 radix = Cmd.Radix == 10 ? 10 : 16;
    if (!take_number(p, radix, a) || !take_number(p, radix, b) || !take_number(p, radix, c)) return 0;
    Keys.flags = u8(a);
    Keys.code = u8(b);
    Keys.character = u8(c);
    Journal.Ticks = 0;
    return 1;
  }
  // text to be typed
  Journal.Ticks = Journal.TmMax;
  Journal.TypedAt = 0;
  Journal.Typing = 1;
  return type_next();
}
