// The monitor model: entry at a claimed fetch, the request loop over the
// channel, and the hand-over to the program. Requests are served step by
// step as their bytes arrive, so a request may span any number of Service()
// calls; replies wait in a small queue while the FIFO to the host is full.
#include "platform/device/dev_monitor.h"

#include "platform/device/dev_monitor_image.h"

// The request handlers, one per code. Each runs when the bytes its step
// waits for are in; a handler that wants more calls Expect(), otherwise the
// request ends with it.
struct DevRequestHandlers {
  static void ReadByte(DevMonitor& m) { m.Reply(m.Peek(m.Word(0))); }
  static void ReadPort(DevMonitor& m) { m.Reply(m.board_.IoRead(m.Word(0))); }
  static void ReadWord(DevMonitor& m) {
    const u16 a = m.Word(0);
    m.ReplyWord(u16(m.Peek(a) | m.Peek(u16(a + 1)) << 8));
  }
  static void WriteByte(DevMonitor& m) {
    m.Poke(m.Word(0), m.request_.in[2]);
    m.Reply(kMonitorAcknowledge);
  }
  static void WritePort(DevMonitor& m) {
    m.board_.IoWrite(m.Word(0), m.request_.in[2]);
    m.Reply(kMonitorAcknowledge);
  }
  static void WriteWord(DevMonitor& m) {
    const u16 a = m.Word(0);
    m.Poke(a, m.request_.in[2]);
    m.Poke(u16(a + 1), m.request_.in[3]);
    m.Reply(kMonitorAcknowledge);
  }
  // Step 0: the address; then one byte out per continuation byte in. Any
  // continuation but kMonitorMore ends the block.
  static void ReadBlock(DevMonitor& m) {
    DevMonitor::Request& r = m.request_;
    if (r.step == 0) {
      r.address = m.Word(0);
    } else if (r.in[0] == kMonitorMore) {
      r.address = u16(r.address + 1);
    } else {
      m.Reply(kMonitorAcknowledge);
      return;
    }
    m.Reply(m.Peek(r.address));
    r.step = 1;
    m.Expect(1);
  }
  // Step 0: the address; then pairs of data byte and continuation byte.
  static void WriteBlock(DevMonitor& m) {
    DevMonitor::Request& r = m.request_;
    if (r.step == 0) {
      r.address = m.Word(0);
      r.step = 1;
      m.Expect(2);
      return;
    }
    m.Poke(r.address, r.in[0]);
    r.address = u16(r.address + 1);
    if (r.in[1] == kMonitorMore) {
      m.Expect(2);
      return;
    }
    m.Reply(kMonitorAcknowledge);
  }
  static void SetStack(DevMonitor& m) {
    m.regs_.sp = m.Word(0);
    m.Reply(kMonitorAcknowledge);
  }
  static void SetInterrupts(DevMonitor& m) {
    m.regs_.iff1 = m.regs_.iff2 = m.request_.in[0] != 0;
    m.Reply(kMonitorAcknowledge);
  }
  // The MMU requests reach the CPU's registers on the board, whatever its
  // kind: 82/83 the four-window bytes, 84..87 the one set of bank registers.
  static void ReadMmuWindows(DevMonitor& m) {
    for (u8 b : m.board_.Mmu().Windows()) m.Reply(b);
  }
  static void SetMmuWindows(DevMonitor& m) {
    DevMmuWindows w{};
    static_assert(kDevMmuWindowBytes <= kDevRequestBytes);  // all eight came with the request
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = m.request_.in[i];
    m.board_.Mmu().SetWindows(w);
    m.Reply(kMonitorAcknowledge);
  }
  static void ReadMmuBank(DevMonitor& m) {
    const DevMmuBank& b = m.board_.Mmu().Bank();
    m.Reply(b.cbr);
    m.Reply(b.bbr);
    m.Reply(b.cbar);
  }
  static void SetMmuBank(DevMonitor& m) {
    m.board_.Mmu().SetBank({m.request_.in[0], m.request_.in[1], m.request_.in[2]});
    m.Reply(kMonitorAcknowledge);
  }
  static void Acknowledge(DevMonitor& m) { m.Reply(kMonitorAcknowledge); }
  // The three-register loads: three little-endian words, in request order.
  static void LoadWords(DevMonitor& m, u16& a, u16& b, u16& c) {
    a = m.Word(0);
    b = m.Word(2);
    c = m.Word(4);
    m.Reply(kMonitorAcknowledge);
  }
  static void LoadSpPcAf(DevMonitor& m) { LoadWords(m, m.regs_.sp, m.regs_.pc, m.regs_.af); }
  static void LoadAltAfBcDe(DevMonitor& m) {
    LoadWords(m, m.regs_.af_alt, m.regs_.bc_alt, m.regs_.de_alt);
  }
  static void LoadAltHlIxIy(DevMonitor& m) { LoadWords(m, m.regs_.hl_alt, m.regs_.ix, m.regs_.iy); }
  static void LoadBcHlDe(DevMonitor& m) { LoadWords(m, m.regs_.bc, m.regs_.hl, m.regs_.de); }
  // I, then 0xFF to run with interrupts enabled or 0 with them disabled.
  static void LoadInterrupts(DevMonitor& m) {
    m.regs_.i = m.request_.in[0];
    m.regs_.iff1 = m.regs_.iff2 = m.request_.in[1] != 0;
    m.Reply(kMonitorAcknowledge);
  }
  static void Run(DevMonitor& m) { m.Resume(); }
  static void StopFirst(DevMonitor& m) {
    m.ReplyWord(m.regs_.bc);
    m.ReplyWord(m.InterruptWord());
  }
  static void StopHlDeAf(DevMonitor& m) {
    m.ReplyWord(m.regs_.hl);
    m.ReplyWord(m.regs_.de);
    m.ReplyWord(m.regs_.af);
  }
  // PC and SP; then the host gives back the low byte of the interrupt word
  // (bit 2: interrupts enabled), which the monitor takes and acknowledges.
  static void StopPcSp(DevMonitor& m) {
    DevMonitor::Request& r = m.request_;
    if (r.step == 0) {
      m.ReplyWord(m.regs_.pc);
      m.ReplyWord(m.regs_.sp);
      r.step = 1;
      m.Expect(1);
      return;
    }
    m.regs_.iff1 = m.regs_.iff2 = (r.in[0] & 0x04) != 0;
    m.Reply(kMonitorAcknowledge);
  }
  static void StopAltAfBcDe(DevMonitor& m) {
    m.ReplyWord(m.regs_.af_alt);
    m.ReplyWord(m.regs_.bc_alt);
    m.ReplyWord(m.regs_.de_alt);
  }
  static void StopAltHlIxIy(DevMonitor& m) {
    m.ReplyWord(m.regs_.hl_alt);
    m.ReplyWord(m.regs_.ix);
    m.ReplyWord(m.regs_.iy);
  }
  static void Handshake(DevMonitor& m) { m.Reply(kMonitorHandshakeReply); }
};

namespace {

using Handler = void (*)(DevMonitor&);

struct RequestRow {
  MonitorRequest code;
  u8 arguments;    // bytes that follow the doorbell before the first step
  Handler serve;
};

// code                         arguments  handler
constexpr RequestRow kRequests[] = {
    {MonitorRequest::ReadByte, 2, DevRequestHandlers::ReadByte},
    {MonitorRequest::ReadPort, 2, DevRequestHandlers::ReadPort},
    {MonitorRequest::ReadWord, 2, DevRequestHandlers::ReadWord},
    {MonitorRequest::WriteByte, 3, DevRequestHandlers::WriteByte},
    {MonitorRequest::WritePort, 3, DevRequestHandlers::WritePort},
    {MonitorRequest::WriteWord, 4, DevRequestHandlers::WriteWord},
    {MonitorRequest::ReadBlock, 2, DevRequestHandlers::ReadBlock},
    {MonitorRequest::WriteBlock, 2, DevRequestHandlers::WriteBlock},
    {MonitorRequest::SetStack, 2, DevRequestHandlers::SetStack},
    {MonitorRequest::SetInterrupts, 1, DevRequestHandlers::SetInterrupts},
    {MonitorRequest::ReadMmuWindows, 0, DevRequestHandlers::ReadMmuWindows},
    {MonitorRequest::SetMmuWindows, 8, DevRequestHandlers::SetMmuWindows},
    {MonitorRequest::ReadMmuBank2, 0, DevRequestHandlers::ReadMmuBank},
    {MonitorRequest::SetMmuBank2, 3, DevRequestHandlers::SetMmuBank},
    {MonitorRequest::ReadMmuBank4, 0, DevRequestHandlers::ReadMmuBank},
    {MonitorRequest::SetMmuBank4, 3, DevRequestHandlers::SetMmuBank},
    {MonitorRequest::PrepareRun, 0, DevRequestHandlers::Acknowledge},
    {MonitorRequest::LoadSpPcAf, 6, DevRequestHandlers::LoadSpPcAf},
    {MonitorRequest::LoadAltAfBcDe, 6, DevRequestHandlers::LoadAltAfBcDe},
    {MonitorRequest::LoadAltHlIxIy, 6, DevRequestHandlers::LoadAltHlIxIy},
    {MonitorRequest::LoadBcHlDe, 6, DevRequestHandlers::LoadBcHlDe},
    {MonitorRequest::LoadInterrupts, 2, DevRequestHandlers::LoadInterrupts},
    {MonitorRequest::Run, 0, DevRequestHandlers::Run},
    {MonitorRequest::StopRecordAfterBreak, 0, DevRequestHandlers::StopFirst},
    {MonitorRequest::StopRecordPastBreak, 0, DevRequestHandlers::StopFirst},
    {MonitorRequest::ReadHlDeAf, 0, DevRequestHandlers::StopHlDeAf},
    {MonitorRequest::ReadPcSp, 0, DevRequestHandlers::StopPcSp},
    {MonitorRequest::ReadAltAfBcDe, 0, DevRequestHandlers::StopAltAfBcDe},
    {MonitorRequest::ReadAltHlIxIy, 0, DevRequestHandlers::StopAltHlIxIy},
    {MonitorRequest::EndStopRecord, 0, DevRequestHandlers::Acknowledge},
    {MonitorRequest::Handshake, 0, DevRequestHandlers::Handshake},
};

consteval bool rows_fit_and_ascend() {
  for (std::size_t i = 0; i < std::size(kRequests); ++i) {
    if (kRequests[i].arguments > kDevRequestBytes) return false;
    if (i > 0 && u8(kRequests[i - 1].code) >= u8(kRequests[i].code)) return false;
  }
  return true;
}
static_assert(rows_fit_and_ascend());  // a row out of order or too wide fails the build

const RequestRow* find_request(int code) {
  for (const RequestRow& row : kRequests)
    if (int(row.code) == code) return &row;
  return nullptr;
}

}  // namespace

DevMonitor::DevMonitor(DevBoard& board, DevCpu& cpu, const DevFaults& faults)
    : board_(board), cpu_(cpu), faults_(faults) {}

void DevMonitor::Reset() {
  in_control_ = false;
  pending_ = DevEntry::None;
  last_entry_ = DevEntry::None;
  regs_ = DevRegisters{};
  active_ = false;
  request_ = Request{};
  replies_.clear();
}

// --- Entry ------------------------------------------------------------------

bool DevMonitor::Fetch(u32 window_offset) {
  if (in_control_ || pending_ != DevEntry::None) return false;
  const auto memory = board_.MonitorMemory();
  DevMonitorEntries entries;
  if (!dev_monitor_entries(memory.subspan(kDevTopBank * kDevMonitorBankSize, kDevMonitorBankSize), entries))
    return false;  // no monitor written: the target runs whatever the window shows
  DevEntry entry = DevEntry::None;
  if (window_offset == 0) {
    // the lower half shows the selected bank: the cold-start bank, written by the host?
    const int bank = board_.SelectedBank();
    if (bank == kDevColdStartBank &&
        dev_monitor_bank_tagged(memory.subspan(std::size_t(bank) * kDevMonitorBankSize, kDevMonitorBankSize), bank))
      entry = DevEntry::ColdStart;
  } else if (window_offset == entries.break_entry) {
    entry = DevEntry::Break;
  } else if (window_offset == entries.nmi_entry) {
    entry = DevEntry::Nmi;
  }
  if (entry == DevEntry::None) return false;
  pending_ = entry;
  cpu_.RequestStop();
  return true;
}

void DevMonitor::TakeOver() {
  if (pending_ == DevEntry::None) return;
  const DevEntry entry = pending_;
  pending_ = DevEntry::None;
  DevRegisters r = cpu_.GetRegisters();
  u8 waiting = 0;
  if (entry == DevEntry::Nmi && board_.TargetPeek(waiting) && waiting == kMonitorProfileCode && !faults_.monitor_hung) {
    Sample(r);
    return;
  }
  if (entry == DevEntry::Break || entry == DevEntry::Nmi) {
    // The RST or the NMI pushed the program's PC; the monitor pops it.
    r.pc = u16(Peek(r.sp) | Peek(u16(r.sp + 1)) << 8);
    r.sp = u16(r.sp + 2);
  }
  // A program stopped in its HALT is shown at the HALT, and a run from
  // there halts again, as it was.
  if (entry == DevEntry::Nmi && cpu_.NmiLeftHalt()) r.pc = u16(r.pc - 1);
  // The NMI cleared IFF1 and kept the program's state in IFF2.
  if (entry == DevEntry::Nmi) r.iff1 = r.iff2;
  regs_ = r;
  in_control_ = true;
  last_entry_ = entry;
  active_ = false;
  request_ = Request{};
  board_.SetUserRunning(false);
  switch (entry) {
    case DevEntry::ColdStart:
      Reply(kMonitorHello);
      break;
    case DevEntry::Break:
      Reply(kMonitorStopBreak);
      break;
    default:
      Reply(kMonitorStopNmi);
      break;
  }
  FlushReplies();
}

// A profiler sample: the NMI interrupted the program at the PC it pushed. The
// monitor answers with the code and that PC, then returns as RETN would.
void DevMonitor::Sample(DevRegisters r) {
  u8 code = 0;
  board_.TargetReceive(code);
  u16 pc = u16(Peek(r.sp) | Peek(u16(r.sp + 1)) << 8);
  if (cpu_.NmiLeftHalt()) pc = u16(pc - 1);  // the program goes back into its HALT
  r.pc = pc;
  r.sp = u16(r.sp + 2);
  r.iff1 = r.iff2;
  cpu_.SetRegisters(r);
  board_.TargetSend(code);
  board_.TargetSend(u8(pc));
  board_.TargetSend(u8(pc >> 8));
}

// Hands the CPU back to the program with the registers the host loaded.
void DevMonitor::Resume() {
  cpu_.SetRegisters(regs_);
  in_control_ = false;
  board_.SetUserRunning(true);
}

// --- The request loop -------------------------------------------------------

void DevMonitor::Service() {
  if (!in_control_ || board_.ResetHeld()) return;
  for (;;) {
    if (!FlushReplies()) return;  // blocked until the host reads
    if (!in_control_) return;     // a run request handed the CPU back
    u8 b = 0;
    if (faults_.monitor_hung) {
      // hung: the monitor takes every byte and answers none
      while (board_.TargetReceive(b)) {
      }
      return;
    }
    if (!active_) {
      if (!board_.TargetReceive(b)) return;
      if (b == kMonitorDoorbell) Begin();  // anything else between requests is dropped
      continue;
    }
    if (request_.have < request_.need) {
      if (!board_.TargetReceive(b)) return;
      request_.in[request_.have++] = b;
      if (request_.have < request_.need) continue;
    }
    Step();
  }
}

// A doorbell: the request's code is the selected bank. An unknown code, or a
// bank that does not carry its tag, is not served and gets no reply.
void DevMonitor::Begin() {
  const int code = board_.SelectedBank();
  const RequestRow* row = find_request(code);
  if (!row) return;
  const auto memory = board_.MonitorMemory();
  if (!dev_monitor_bank_tagged(memory.subspan(std::size_t(code) * kDevMonitorBankSize, kDevMonitorBankSize), code))
    return;
  request_ = Request{};
  request_.code = u8(code);
  request_.need = row->arguments;
  active_ = true;
}

void DevMonitor::Step() {
  const RequestRow* row = find_request(request_.code);
  request_.need = 0;
  request_.have = 0;
  if (row) row->serve(*this);
  if (request_.need == 0) active_ = false;  // no further step asked for
}

void DevMonitor::Expect(u8 count) {
  request_.need = count <= request_.in.size() ? count : u8(request_.in.size());
  request_.have = 0;
}

// Moves queued replies into the FIFO to the host. False while some wait for
// room. A byte sent while the host holds the FIFOs in reset is lost there.
bool DevMonitor::FlushReplies() {
  while (!replies_.empty()) {
    if (board_.ReceiveCount() >= kDevFifoSize) return false;
    board_.TargetSend(replies_.front());
    replies_.pop_front();
  }
  return true;
}

void DevMonitor::Reply(u8 value) { replies_.push_back(value); }

void DevMonitor::ReplyWord(u16 value) {
  Reply(u8(value));
  Reply(u8(value >> 8));
}

// The word at `at` in this step's bytes, low byte first.
u16 DevMonitor::Word(std::size_t at) const {
  if (at + 1 >= request_.in.size()) return 0;
  return load_le16(&request_.in[at]);
}

// Memory as the CPU sees it: the monitor runs on the target, so its
// addresses are logical and go through the MMU as the registers stand.
u8 DevMonitor::Peek(u16 address) const { return board_.PeekLogical(address); }
void DevMonitor::Poke(u16 address, u8 value) { board_.PokeLogical(address, value); }

// I in the high byte; bit 2 set when the program runs with interrupts enabled.
u16 DevMonitor::InterruptWord() const { return u16(regs_.i << 8 | (regs_.iff2 ? 0x04 : 0x00)); }
