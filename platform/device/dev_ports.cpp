// The card's port decoder on the simulated board: probe answers by
// generation, the select latches, data ports of each width onto the selected
// register (low byte first), the channel status on the second bank, and the
// 1 MHz board timer from the board's own time.
#include "platform/device/dev_ports.h"

namespace {

constexpr u16 kOffProbe = 0;
constexpr u16 kOffSelect = 2;     // byte: select; word: register write or word read
constexpr u16 kOffData = 3;
constexpr u16 kOffWord = 4;
constexpr u16 kOffTimerCount = 5;
constexpr u16 kOffTimerControl = 7;
constexpr u16 kOffSetup = 9;
constexpr u16 kOffBank2Select = 10;
constexpr u16 kOffBank2Data = 11;
constexpr u16 kOffDword = 12;
constexpr u16 kOffPrefetch = 14;

constexpr u8 kTimerReset = 5;     // written to the control port
constexpr u8 kTimerWrapped = 0x80;  // control port read: a wrap since the last read

}  // namespace

DevBoardPorts::DevBoardPorts(SimulatedDriver& driver, u16 base, u8 generation)
    : driver_(driver),
      base_(base),
      generation_(generation == kDevGenWord || generation == kDevGenByte ? generation : kDevGenWide) {}

bool DevBoardPorts::Decodes(u16 offset) const {
  switch (offset) {
    case kOffProbe:
    case kOffSelect:
    case kOffData:
    case kOffWord:
    case kOffTimerCount:
    case kOffTimerControl:
      return true;
    case kOffSetup:
    case kOffBank2Select:
    case kOffBank2Data:
    case kOffDword:
    case kOffPrefetch:
      return generation_ == kDevGenWide;
    default:
      return false;
  }
}

u8 DevBoardPorts::ReadSelected() {
  const bool waiting = selected_ == kRegChannelReceive && driver_.Board().ReceiveCount() > 0;
  const u8 v = driver_.Board().ReadRegister(selected_);
  if (waiting) driver_.RecordPortByte(SimTranscriptEntry::Kind::FromTarget, v, true);
  // a byte taken from the channel may let the monitor go on
  if (selected_ == kRegChannelReceive) driver_.Target().Service();
  return v;
}

void DevBoardPorts::WriteSelected(u8 value) {
  if (selected_ != kRegChannel) {
    driver_.Board().WriteRegister(selected_, value);
    return;
  }
  // a full FIFO, or one held in reset, loses the byte
  const bool took = driver_.Board().SendRoom() > 0 && !(driver_.Board().RegisterShadow(kRegControl) & kCtlFifoReset);
  driver_.Board().WriteRegister(selected_, value);
  driver_.RecordPortByte(SimTranscriptEntry::Kind::ToTarget, value, took);
  driver_.Target().Service();
}

u8 DevBoardPorts::ReadBank2() {
  // the channel status: the monitor first acts on what it has
  if (bank2_selected_ == kRegChannel) {
    driver_.Target().Service();
    return driver_.Board().FifoStatus();
  }
  return driver_.Board().ReadRegister(bank2_selected_);
}

u64 DevBoardPorts::TimerMicroseconds() {
  const u32 hz = driver_.Board().Fixture().cpu_clock_hz;
  const u64 t = driver_.Board().TStates() - timer_origin_;
  return t * 1'000'000 / (hz ? hz : 1);
}

u8 DevBoardPorts::In8(u16 port) {
  const u16 offset = u16(port - base_);
  if (offset > kOffPrefetch || !Decodes(offset)) return 0xFF;  // not the card's: the bus floats
  auto turn = driver_.Hold();
  switch (offset) {
    case kOffProbe:
      // The latch reads back bit 7 and, as an inverted echo, bit 0; the widest
      // board adds bit 6. A byte-only board's latch floats high.
      if (generation_ == kDevGenByte) return 0xFF;
      if (!(probe_latch_ & 0x80)) return u8(probe_latch_ & 0x7E);
      return u8(0x81 | (generation_ == kDevGenWide ? 0x40 : 0));
    case kOffData:
      return ReadSelected();
    case kOffTimerCount:
      return u8(TimerMicroseconds() >> 8);
    case kOffTimerControl: {
      const u64 wraps = TimerMicroseconds() >> 16;
      const bool wrapped = wraps > timer_wraps_seen_;
      timer_wraps_seen_ = wraps;
      return wrapped ? kTimerWrapped : 0;
    }
    case kOffBank2Data:
      return ReadBank2();
    default:
      return 0xFF;  // write-only ports
  }
}

u16 DevBoardPorts::In16(u16 port) {
  const u16 offset = u16(port - base_);
  const bool word_read = offset == kOffSelect && generation_ != kDevGenByte;
  const bool prefetch = offset == kOffPrefetch && generation_ == kDevGenWide;
  if (!word_read && !prefetch) return 0xFFFF;
  auto turn = driver_.Hold();
  const u8 low = ReadSelected();
  return u16(low | ReadSelected() << 8);
}

void DevBoardPorts::Out8(u16 port, u8 value) {
  const u16 offset = u16(port - base_);
  if (offset > kOffPrefetch || !Decodes(offset)) return;
  auto turn = driver_.Hold();
  switch (offset) {
    case kOffProbe:
      probe_latch_ = value;
      return;
    case kOffSelect:
      selected_ = value;
      return;
    case kOffData:
      WriteSelected(value);
      return;
    case kOffTimerControl:
      if (value == kTimerReset) {
        timer_origin_ = driver_.Board().TStates();
        timer_wraps_seen_ = 0;
      }
      return;
    case kOffSetup:
      // a shift register of the last five bytes
      for (std::size_t i = 0; i + 1 < setup_.size(); ++i) setup_[i] = setup_[i + 1];
      setup_.back() = value;
      return;
    case kOffBank2Select:
      bank2_selected_ = value;
      return;
    default:
      return;
  }
}

void DevBoardPorts::Out16(u16 port, u16 value) {
  const u16 offset = u16(port - base_);
  if (offset == kOffSelect) {
    // register number in the low byte, value in the high byte
    auto turn = driver_.Hold();
    selected_ = u8(value);
    WriteSelected(u8(value >> 8));
    return;
  }
  if (offset != kOffWord || generation_ == kDevGenByte) return;
  auto turn = driver_.Hold();
  WriteSelected(u8(value));
  WriteSelected(u8(value >> 8));
}

void DevBoardPorts::Out32(u16 port, u32 value) {
  if (u16(port - base_) != kOffDword || generation_ != kDevGenWide) return;
  auto turn = driver_.Hold();
  for (int i = 0; i < 4; ++i) WriteSelected(u8(value >> (8 * i)));
}
