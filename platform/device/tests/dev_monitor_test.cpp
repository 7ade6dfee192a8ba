#include "platform/device/dev_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_target.h"

namespace {

constexpr u16 kRam = 0x8000;        // target RAM in the default board
constexpr u16 kStack = 0x9000;
constexpr u64 kPlenty = 20'000;     // T-states for any of the runs below

MonitorFileHeader header_of(const std::vector<u8>& file) {
  MonitorFileHeader h{};
  std::memcpy(&h, file.data(), sizeof h);
  return h;
}

std::span<const u8> chunk_of(const std::vector<u8>& file, std::size_t chunk) {
  return std::span<const u8>(file).subspan(kMonitorImageOffset + chunk * kDevMonitorBankSize, kDevMonitorBankSize);
}

// A target with the monitor file built for its board, driven as the engine
// drives it: image into monitor memory, reset vector patched, bank 126
// selected, reset released; then requests through the bank register and the
// channel.
class MonitorTest : public testing::Test {
 protected:
  DevTarget target;
  DevBoard& board = target.Board();
  std::vector<u8> file = dev_monitor_file(board.Fixture());
  MonitorFileHeader header = header_of(file);

  u32 Code() const { return header.code_address.get(); }

  // The engine's image write: chunk 0, with the break instruction put in, to
  // bank 127; the following chunks to banks 2, 3, ...
  void WriteImage(u8 break_opcode = 0xFF) {
    std::array<u8, kDevMonitorBankSize> first;
    std::copy_n(chunk_of(file, 0).begin(), first.size(), first.begin());
    first[header.position.get() & 63] = break_opcode;
    ASSERT_TRUE(board.WriteMonitorBlock(kDevTopBankCode, 0, first));
    for (std::size_t chunk = 1; chunk < kDevMonitorChunks; ++chunk)
      ASSERT_TRUE(board.WriteMonitorBlock(u16(chunk + 1), 0, chunk_of(file, chunk)));
  }

  // JP to the monitor at the reset vector and RET at the NMI vector, in the
  // emulation memory under LROM1.
  void PatchResetVector() {
    Rom(0x0000, {0xC3, u8(Code()), u8(Code() >> 8)});
    Rom(0x0066, {0xC9});
  }

  // Bytes at a target address inside LROM1, written as emulation memory.
  void Rom(u32 address, std::initializer_list<u8> bytes) {
    for (u8 b : bytes) board.EmuWrite(address++ - board.Fixture().lrom1.start + board.Fixture().lrom1.offset, b);
  }
  void Ram(u16 address, std::initializer_list<u8> bytes) {
    for (u8 b : bytes) board.PokeTarget(address++, b);
  }

  // Resets the FIFOs, selects `bank`, pulses reset and runs for a while.
  void ResetInto(u16 bank) {
    board.FifoReset();
    board.BankSet(bank);
    board.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease);
    target.Run(100);
    board.WriteRegisterMasked(kRegControl, kCtlResetRelease, kCtlResetRelease);
    target.Run(kPlenty);
  }

  // The whole boot; the hello byte is taken.
  void Boot() {
    WriteImage();
    PatchResetVector();
    board.MonitorEnable(1);
    ResetInto(kDevColdStartBank);
    ASSERT_TRUE(target.MonitorInControl());
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorHello});
  }

  // One request as the engine sends it: the code into the bank register, the
  // doorbell, the argument bytes.
  void Request(u16 code, std::initializer_list<u8> args = {}) {
    board.BankSet(code == kDevTopBank ? kDevTopBankCode : code);
    board.ChannelSend(kMonitorDoorbell);
    Send(args);
  }
  void Send(std::initializer_list<u8> bytes) {
    for (u8 b : bytes) board.ChannelSend(b);
    target.Service();
  }
  std::vector<u8> Replies() {
    target.Service();
    std::vector<u8> out;
    while (board.ReceiveCount() > 0) out.push_back(board.ChannelReceive());
    return out;
  }
  std::vector<u16> ReplyWords() {
    const std::vector<u8> b = Replies();
    std::vector<u16> words;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) words.push_back(u16(b[i] | b[i + 1] << 8));
    if (b.size() % 2) words.push_back(0xDEAD);  // an odd byte out: never a valid reply
    return words;
  }

  // One request's word reply, which must be exactly `count` words long.
  std::vector<u16> RequestWords(u16 request, std::size_t count) {
    Request(request);
    std::vector<u16> w = ReplyWords();
    EXPECT_EQ(w.size(), count) << "request " << request;
    w.resize(count);
    return w;
  }

  // The engine's go: the register image through 96..101, the run strobe, and
  // the doorbell of 103, which the next Run or Service takes.
  void Go(const DevRegisters& r) {
    Request(96);
    Request(97, {u8(r.sp), u8(r.sp >> 8), u8(r.pc), u8(r.pc >> 8), u8(r.af), u8(r.af >> 8)});
    Request(98, {u8(r.af_alt), u8(r.af_alt >> 8), u8(r.bc_alt), u8(r.bc_alt >> 8), u8(r.de_alt), u8(r.de_alt >> 8)});
    Request(99, {u8(r.hl_alt), u8(r.hl_alt >> 8), u8(r.ix), u8(r.ix >> 8), u8(r.iy), u8(r.iy >> 8)});
    Request(100, {u8(r.bc), u8(r.bc >> 8), u8(r.hl), u8(r.hl >> 8), u8(r.de), u8(r.de >> 8)});
    Request(101, {r.i, u8(r.iff1 ? 0xFF : 0x00)});
    ASSERT_EQ(Replies(), std::vector<u8>(6, kMonitorAcknowledge));
    board.WriteRegisterMasked(kRegControl, kCtlRunStrobe, kCtlRunStrobe);
    board.WriteRegisterMasked(kRegControl, 0, kCtlRunStrobe);
    board.BankSet(103);
    board.ChannelSend(kMonitorDoorbell);
  }

  // The engine's stop read-back after the stop byte: every register group.
  DevRegisters ReadStop(u8 stop_byte) {
    DevRegisters r;
    std::vector<u16> w = RequestWords(stop_byte == 0 ? 113 : 112, 2);
    r.bc = w[0];
    const u16 s = w[1];
    r.i = u8(s >> 8);
    r.iff1 = r.iff2 = (s & 0x04) != 0;
    w = RequestWords(114, 3);
    r.hl = w[0], r.de = w[1], r.af = w[2];
    w = RequestWords(115, 2);
    r.pc = w[0], r.sp = w[1];
    Send({u8(s & 0x04)});
    EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
    w = RequestWords(116, 3);
    r.af_alt = w[0], r.bc_alt = w[1], r.de_alt = w[2];
    w = RequestWords(117, 3);
    r.hl_alt = w[0], r.ix = w[1], r.iy = w[2];
    Request(118);
    EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
    return r;
  }
};

// --- The file -----------------------------------------------------------------

TEST(DevMonitorImageTest, HeaderAndImageAgreeForEveryMonitorPlace) {
  for (u32 code : {0x7F80u, 0x0080u, 0x3F80u}) {
    SCOPED_TRACE(testing::Message() << std::hex << code);
    DevFixture f;
    f.monitor_code_address = code;
    const std::vector<u8> file = dev_monitor_file(f);
    ASSERT_EQ(file.size(), kDevMonitorFileSize);
    const MonitorFileHeader h = header_of(file);
    EXPECT_EQ(h.format, 1);
    EXPECT_EQ(h.cpu_family, 1);
    EXPECT_EQ(h.code_address.get(), code);
    EXPECT_EQ(h.handshake_mode, 0);
    // The descriptor names the same entries as the header, both in the upper half.
    DevMonitorEntries e;
    ASSERT_TRUE(dev_monitor_entries(chunk_of(file, 0), e));
    EXPECT_EQ(h.break_entry.get(), u16(code + e.break_entry));
    EXPECT_EQ(h.nmi_entry.get(), u16(code + e.nmi_entry));
    EXPECT_GE(e.break_entry, 64);
    EXPECT_GE(e.nmi_entry, 64);
    // The service run starts on the byte where the engine puts the break.
    const u16 pos = h.position.get();
    EXPECT_EQ(pos & 127, 64 + (pos & 63));
    EXPECT_NE(pos & 127, e.break_entry);
    EXPECT_NE(pos & 127, e.nmi_entry);
    // The NMI slot's three bytes lie in bank 127, clear of the descriptor and the entries.
    const u16 slot = h.nmi_slot.get();
    EXPECT_GE(slot, 127 * 64 + 8);
    EXPECT_LE(slot, 127 * 64 + 61);
    for (u16 b = slot; b < slot + 3; ++b) {
      EXPECT_NE(64 + b % 64, e.break_entry);
      EXPECT_NE(64 + b % 64, e.nmi_entry);
      EXPECT_NE(64 + b % 64, pos & 127);
    }
  }
}

TEST(DevMonitorImageTest, EachChunkCarriesTheTagOfTheBankItGoesTo) {
  const std::vector<u8> file = dev_monitor_file(DevFixture{});
  for (std::size_t chunk = 1; chunk < kDevMonitorChunks; ++chunk) {
    SCOPED_TRACE(chunk);
    const int bank = int(chunk) + 1;  // chunk 1 at monitor offset 128: bank 2
    EXPECT_TRUE(dev_monitor_bank_tagged(chunk_of(file, chunk), bank));
    EXPECT_FALSE(dev_monitor_bank_tagged(chunk_of(file, chunk), bank + 1));
    EXPECT_FALSE(dev_monitor_bank_tagged(chunk_of(file, chunk), bank - 1));
  }
  EXPECT_TRUE(dev_monitor_bank_tagged(chunk_of(file, kDevMonitorChunks - 1), kDevColdStartBank));
  // Banks the image never writes carry no tag, whatever their bytes.
  EXPECT_FALSE(dev_monitor_bank_tagged(chunk_of(file, 1), 1));
  EXPECT_FALSE(dev_monitor_bank_tagged(chunk_of(file, 0), 127));
  const u8 short_tag[] = {'V', 'M', 'B', 2};
  EXPECT_FALSE(dev_monitor_bank_tagged(short_tag, 2));
}

TEST(DevMonitorImageTest, DamagedDescriptorsAreRefused) {
  const std::vector<u8> file = dev_monitor_file(DevFixture{});
  const struct {
    const char* what;
    std::size_t at;
    u8 value;
    bool valid;
  } cases[] = {
      {"magic", kDevDescMagic + 3, 'X', false},
      {"version 2", kDevDescVersion, 2, false},
      {"break entry in the lower half", kDevDescBreakEntry, 63, false},
      {"break entry at the first upper byte", kDevDescBreakEntry, 64, true},
      {"break entry at the last upper byte", kDevDescBreakEntry, 127, true},
      {"break entry past the window", kDevDescBreakEntry, 128, false},
      {"NMI entry past the window", kDevDescNmiEntry, 0xFF, false},
      {"NMI entry on the break entry", kDevDescNmiEntry, u8(64 + kDevMonitorBreakEntryByte), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<u8> top(chunk_of(file, 0).begin(), chunk_of(file, 0).end());
    top[c.at] = c.value;
    DevMonitorEntries e{1, 2};
    EXPECT_EQ(dev_monitor_entries(top, e), c.valid);
    if (!c.valid) {
      EXPECT_EQ(e.break_entry, 1);  // left alone
    }
  }
  // every truncation of the bank is refused
  for (std::size_t n = 0; n < kDevMonitorBankSize; ++n) {
    DevMonitorEntries e;
    EXPECT_FALSE(dev_monitor_entries(chunk_of(file, 0).first(n), e)) << n;
  }
}

// --- The fetch hook -------------------------------------------------------------

TEST(DevBoardFetchObserverTest, SeesOnlyOpcodeFetchesInTheEnabledWindowAndCanClaimThem) {
  DevBoard board;
  const u32 code = board.Fixture().monitor_code_address;
  std::vector<u8> top(64, 0x3E);
  ASSERT_TRUE(board.WriteMonitorBlock(kDevTopBankCode, 0, top));
  std::vector<u32> seen;
  board.SetFetchObserver([&](u32 offset) {
    seen.push_back(offset);
    return offset == 100;
  });
  const struct {
    const char* what;
    bool window_on;
    u32 address;
    BusCycle cycle;
    int offset;  // -1: not seen
    u8 read;
  } cases[] = {
      {"window off", false, code + 100, BusCycle::OpcodeFetch, -1, 0xFF},
      {"claimed", true, code + 100, BusCycle::OpcodeFetch, 100, 0x00},
      {"not claimed", true, code + 101, BusCycle::OpcodeFetch, 101, 0x3E},
      {"operand read", true, code + 100, BusCycle::MemoryRead, -1, 0x3E},
      {"first window byte", true, code, BusCycle::OpcodeFetch, 0, 0x3E},  // bank 127 selected below too
      {"byte before the window", true, code - 1, BusCycle::OpcodeFetch, -1, 0xFF},
      {"byte after the window", true, code + 128, BusCycle::OpcodeFetch, -1, 0x00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    board.MonitorEnable(c.window_on ? 1 : 0);
    seen.clear();
    const u8 read = board.MemoryRead(u16(c.address), c.cycle);
    if (c.offset < 0) {
      EXPECT_TRUE(seen.empty());
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0], u32(c.offset));
    }
    EXPECT_EQ(read, c.read);
  }
}

// --- Cold start -------------------------------------------------------------------

TEST_F(MonitorTest, ColdStartSendsTheHelloOnceAndHoldsTheCpu) {
  Boot();
  EXPECT_EQ(target.Monitor().LastEntry(), DevEntry::ColdStart);
  EXPECT_EQ(board.CheckRun() & 1, 0);  // the program under test does not run
  const u64 t = board.TStates();
  target.Run(5000);
  EXPECT_EQ(board.TStates(), t + 5000);  // time passes while the monitor waits
  EXPECT_TRUE(Replies().empty());
  // A new reset brings the monitor up again.
  ResetInto(kDevColdStartBank);
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHello});
}

TEST_F(MonitorTest, NoColdStartWithoutWhatTheEngineWrites) {
  // One board, as the engine retries the boot: each case spoils one thing,
  // resets, and the image is written again behind it.
  const struct {
    const char* what;
    void (*spoil)(DevBoard&);
    u16 bank_at_reset;
    bool up;
  } cases[] = {
      {"nothing wrong", [](DevBoard&) {}, 126, true},
      {"bank 125 selected at reset", [](DevBoard&) {}, 125, false},
      {"bank 126 not tagged", [](DevBoard& b) { b.WriteMonitorBlock(126, 4, std::vector<u8>{0x00}); }, 126, false},
      {"descriptor overwritten", [](DevBoard& b) { b.WriteMonitorBlock(255, 0, std::vector<u8>{0, 0, 0, 0}); }, 126,
       false},
      {"window left to the host", [](DevBoard&) {}, 126, false},
      {"written again", [](DevBoard&) {}, 126, true},
  };
  PatchResetVector();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteImage();
    c.spoil(board);
    // the engine gives the window back to the target; the one spoiled case does not
    if (std::string(c.what) != "window left to the host") board.MonitorEnable(1);
    ResetInto(c.bank_at_reset);
    EXPECT_EQ(target.MonitorInControl(), c.up);
    EXPECT_EQ(Replies(), c.up ? std::vector<u8>{kMonitorHello} : std::vector<u8>{});
  }
}

// --- Requests ---------------------------------------------------------------------

TEST_F(MonitorTest, HandshakeAndInitialStack) {
  Boot();
  Request(125);
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHandshakeReply});
  Request(80, {0x80, 0x80});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(target.Monitor().Registers().sp, 0x8080);
  Request(81, {1});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_TRUE(target.Monitor().Registers().iff1);
}

TEST_F(MonitorTest, ByteAndWordAccessAsTheCpuSeesMemory) {
  Boot();
  Rom(0x1234, {0x5A, 0xA5});
  Ram(0x8100, {0x11, 0x22});
  Ram(0xFFFF, {0x99});
  const struct {
    const char* what;
    u16 code;
    std::vector<u8> args;
    std::vector<u8> reply;
  } cases[] = {
      {"byte from ROM", 8, {0x34, 0x12}, {0x5A}},
      {"byte from RAM", 8, {0x01, 0x81}, {0x22}},
      {"word from ROM", 16, {0x34, 0x12}, {0x5A, 0xA5}},
      {"word wraps at 64 KiB", 16, {0xFF, 0xFF}, {0x99, 0xC3}},  // 0x0000 holds the reset JP
      {"byte to RAM", 24, {0x00, 0x82, 0x77}, {kMonitorAcknowledge}},
      {"byte read back", 8, {0x00, 0x82}, {0x77}},
      {"word to RAM", 32, {0x10, 0x82, 0x34, 0x12}, {kMonitorAcknowledge}},
      {"word read back", 16, {0x10, 0x82}, {0x34, 0x12}},
      {"byte to ROM is dropped", 24, {0x34, 0x12, 0x00}, {kMonitorAcknowledge}},
      {"ROM unchanged", 8, {0x34, 0x12}, {0x5A}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    board.BankSet(c.code);
    board.ChannelSend(kMonitorDoorbell);
    for (u8 b : c.args) board.ChannelSend(b);
    EXPECT_EQ(Replies(), c.reply);
  }
  // The window as the target sees it: the descriptor's magic at code + 64.
  const u16 top = u16(Code() + 64);
  Request(8, {u8(top), u8(top >> 8)});
  EXPECT_EQ(Replies(), std::vector<u8>{kDevMonitorMagic[0]});
}

TEST_F(MonitorTest, ArgumentsMayArriveOneByteAtATime) {
  Boot();
  Request(32);
  for (u8 b : {0x00, 0x83, 0xCD, 0xAB}) {
    EXPECT_TRUE(Replies().empty());
    Send({b});
  }
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(board.PeekTarget(0x8300), 0xCD);
  EXPECT_EQ(board.PeekTarget(0x8301), 0xAB);
}

TEST_F(MonitorTest, BlockReadAnswersOneBytePerContinuation) {
  Boot();
  Ram(0x8400, {1, 2, 3});
  Ram(0xFFFF, {0xEE});
  const struct {
    const char* what;
    u16 start;
    std::vector<u8> data;
  } cases[] = {
      {"three bytes", 0x8400, {1, 2, 3}},
      {"one byte", 0x8402, {3}},
      {"wraps at 64 KiB", 0xFFFF, {0xEE, 0xC3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Request(40, {u8(c.start), u8(c.start >> 8)});
    for (std::size_t i = 0; i < c.data.size(); ++i) {
      EXPECT_EQ(Replies(), std::vector<u8>{c.data[i]}) << i;
      Send({u8(i + 1 < c.data.size() ? kMonitorMore : 0)});
    }
    EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  }
  // any continuation byte but 0xFF ends the block
  Request(40, {0x00, 0x84});
  EXPECT_EQ(Replies(), std::vector<u8>{1});
  Send({0x01});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  Request(125);  // the monitor is back between requests
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHandshakeReply});
}

TEST_F(MonitorTest, BlockWriteTakesByteAndContinuationPairs) {
  Boot();
  Request(48, {0x00, 0x85, 0xB0, kMonitorMore, 0xB1, kMonitorMore, 0xB2, 0x00});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(board.PeekTarget(0x8500), 0xB0);
  EXPECT_EQ(board.PeekTarget(0x8501), 0xB1);
  EXPECT_EQ(board.PeekTarget(0x8502), 0xB2);
  EXPECT_EQ(board.PeekTarget(0x8503), 0x00);
  // a data byte of 0 or 0xFF is data, not a continuation
  Request(48, {0x10, 0x85, 0x00, kMonitorMore, 0xFF, 0x00});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(board.PeekTarget(0x8511), 0xFF);
  // the pairs may come in pieces
  Request(48, {0x20, 0x85});
  for (u8 b : {u8(0x42), kMonitorMore, u8(0x43)}) {
    Send({b});
    EXPECT_TRUE(Replies().empty());
  }
  Send({0x00});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(board.PeekTarget(0x8521), 0x43);
}

TEST_F(MonitorTest, PortsByTheirFull16BitAddress) {
  Boot();
  Request(25, {0x34, 0x12, 0x5C});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  EXPECT_EQ(board.PortLatch(0x1234), 0x5C);
  EXPECT_EQ(board.PortLatch(0x0034), 0xFF);  // not the 8-bit port
  Request(9, {0x34, 0x12});
  EXPECT_EQ(Replies(), std::vector<u8>{0x5C});
  Request(9, {0x35, 0x12});
  EXPECT_EQ(Replies(), std::vector<u8>{0xFF});
}

TEST_F(MonitorTest, MmuValuesAreKeptAndGivenBack) {
  Boot();
  Request(84);
  EXPECT_EQ(Replies(), (std::vector<u8>{0x00, 0x00, 0xF0}));  // after reset
  Request(85, {0x12, 0x34, 0x56});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  Request(86);  // one set of registers for both bank kinds
  EXPECT_EQ(Replies(), (std::vector<u8>{0x12, 0x34, 0x56}));
  Request(83, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  Request(82);
  EXPECT_EQ(Replies(), (std::vector<u8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(MonitorTest, RepliesWaitForRoomWhenTheHostIsSlow) {
  Boot();
  Request(83, {1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_EQ(Replies(), std::vector<u8>{kMonitorAcknowledge});
  for (int i = 0; i < 5; ++i) Request(82);  // 40 bytes for a 32-byte FIFO
  EXPECT_EQ(board.ReceiveCount(), kDevFifoSize);
  std::vector<u8> got;
  while (board.ReceiveCount() > 0) {
    got.push_back(board.ChannelReceive());
    target.Service();
  }
  ASSERT_EQ(got.size(), 40u);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], i % 8 + 1) << i;
}

TEST_F(MonitorTest, UnknownCodesAndUntaggedBanksGetNoReply) {
  Boot();
  const struct {
    const char* what;
    u16 code;
    int spoil_bank;  // -1: none
  } cases[] = {
      {"code 5", 5, -1},
      {"code 0", 0, -1},
      {"code 102", 102, -1},
      {"code 127 (bank 255)", 127, -1},
      {"read byte, bank 8 untagged", 8, 8},
      {"prepare run, bank 96 untagged", 96, 96},
      {"handshake, bank 125 untagged", 125, 125},
  };
  // a byte other than the doorbell between requests is no request
  board.BankSet(125);
  Send({0x07});
  EXPECT_TRUE(Replies().empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.spoil_bank >= 0) {
      ASSERT_TRUE(board.WriteMonitorBlock(u16(c.spoil_bank), 4, std::vector<u8>{0x00}));
    }
    Request(c.code);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(board.TargetPending(), 0u);  // the doorbell was taken
    if (c.spoil_bank >= 0) WriteImage();
    // the monitor still serves a request whose bank is sound
    Request(125);
    EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHandshakeReply});
  }
}

// An engine that writes chunk k to bank k (one bank low) leaves every request
// bank with another bank's tag.
TEST_F(MonitorTest, ImageWrittenOneBankOffAnswersNothing) {
  Boot();
  for (std::size_t chunk = 1; chunk < kDevMonitorChunks; ++chunk)
    ASSERT_TRUE(board.WriteMonitorBlock(u16(chunk), 0, chunk_of(file, chunk)));
  for (u16 code : {8, 96, 115, 125}) {
    SCOPED_TRACE(code);
    Request(code);
    EXPECT_TRUE(Replies().empty());
  }
}

TEST_F(MonitorTest, HungMonitorTakesRequestsAndAnswersNone) {
  Boot();
  target.Faults().monitor_hung = true;
  Request(125);
  Request(8, {0x00, 0x80});
  Request(103);
  EXPECT_TRUE(Replies().empty());
  EXPECT_EQ(board.TargetPending(), 0u);
  EXPECT_TRUE(target.MonitorInControl());  // the run request did nothing either
  target.Faults().monitor_hung = false;
  Request(125);
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHandshakeReply});
}

// --- Run and stop -------------------------------------------------------------------

TEST_F(MonitorTest, RunToASoftwareBreakAndReadTheStopRecord) {
  Boot();
  Rom(0x38, {0xC3, u8(header.break_entry.get()), u8(header.break_entry.get() >> 8)});
  Ram(kRam, {0x01, 0x34, 0x12,   // LD BC,1234H
             0x11, 0x78, 0x56,   // LD DE,5678H
             0x21, 0xBC, 0x9A,   // LD HL,9ABCH
             0x3E, 0x42,         // LD A,42H
             0xFF});             // RST 38H
  DevRegisters go;
  go.sp = kStack;
  go.pc = kRam;
  go.af = 0x00D7;
  go.af_alt = 0x1111, go.bc_alt = 0x2222, go.de_alt = 0x3333;
  go.hl_alt = 0x4444, go.ix = 0x5555, go.iy = 0x6666;
  go.i = 0x3C;
  go.iff1 = true;
  Go(go);
  EXPECT_EQ(board.CheckRun(), 0);
  target.Run(kPlenty);  // takes the run request, runs the program to the break
  ASSERT_TRUE(target.MonitorInControl());
  EXPECT_EQ(board.CheckRun(), 2);  // started since the strobe, stopped again
  EXPECT_EQ(target.Monitor().LastEntry(), DevEntry::Break);
  EXPECT_GT(board.RunTimeRead(), 0u);
  ASSERT_EQ(Replies(), std::vector<u8>{kMonitorStopBreak});
  const DevRegisters r = ReadStop(kMonitorStopBreak);
  DevRegisters want = go;
  want.bc = 0x1234, want.de = 0x5678, want.hl = 0x9ABC, want.af = 0x42D7;
  want.pc = u16(kRam + 12);  // past the RST
  want.iff2 = true;
  want.r = r.r;              // not part of the record
  EXPECT_EQ(r, want);
  // The RST left its return address below the stack.
  EXPECT_EQ(board.PeekTarget(kStack - 2), u8(kRam + 12));
  EXPECT_EQ(board.PeekTarget(kStack - 1), u8((kRam + 12) >> 8));
}

TEST_F(MonitorTest, NmiStopsARunningProgramWherePushed) {
  Boot();
  Rom(0x66, {0xC3, u8(header.nmi_entry.get()), u8(header.nmi_entry.get() >> 8)});
  Ram(kRam, {0x00, 0x18, 0xFD});  // NOP; JR to the NOP
  for (bool ie : {true, false}) {
    SCOPED_TRACE(ie);
    DevRegisters go;
    go.sp = kStack, go.pc = kRam, go.bc = 0xBC00, go.i = 0x07, go.iff1 = ie;
    Go(go);
    target.Run(kPlenty);
    EXPECT_FALSE(target.MonitorInControl());
    EXPECT_TRUE(Replies().empty());
    board.WriteRegisterMasked(kRegControl, kCtlNmiPulse, kCtlNmiPulse);
    board.WriteRegisterMasked(kRegControl, 0, kCtlNmiPulse);
    target.Run(kPlenty);
    ASSERT_TRUE(target.MonitorInControl());
    EXPECT_EQ(target.Monitor().LastEntry(), DevEntry::Nmi);
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorStopNmi});
    EXPECT_EQ(target.Monitor().Registers().iff1, ie);  // what a run without a new image resumes with
    const DevRegisters r = ReadStop(kMonitorStopNmi);
    EXPECT_TRUE(r.pc == kRam || r.pc == kRam + 1) << r.pc;  // inside the loop, as pushed
    EXPECT_EQ(r.sp, kStack);
    EXPECT_EQ(r.bc, 0xBC00);
    EXPECT_EQ(r.i, 0x07);
    EXPECT_EQ(r.iff1, ie);  // the state before the NMI, not the cleared IFF1
  }
}

TEST_F(MonitorTest, NmiStopsAHaltedProgramAtItsHaltAndARunHaltsAgain) {
  Boot();
  Rom(0x66, {0xC3, u8(header.nmi_entry.get()), u8(header.nmi_entry.get() >> 8)});
  Ram(kRam, {0x76, 0x3C, 0x18, 0xFE});  // HALT; INC A; JR $
  DevRegisters go;
  go.sp = kStack, go.pc = kRam, go.af = 0x0000;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Go(go);
    target.Run(kPlenty);
    ASSERT_FALSE(target.MonitorInControl());
    board.WriteRegisterMasked(kRegControl, kCtlNmiPulse, kCtlNmiPulse);
    board.WriteRegisterMasked(kRegControl, 0, kCtlNmiPulse);
    target.Run(kPlenty);
    ASSERT_TRUE(target.MonitorInControl());
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorStopNmi});
    const DevRegisters r = ReadStop(kMonitorStopNmi);
    EXPECT_EQ(r.pc, kRam);  // at the HALT, not past it
    EXPECT_EQ(r.af >> 8, 0);  // INC A never ran
    EXPECT_EQ(r.sp, kStack);
    go = r;  // the run from the stop goes back into the HALT
  }
}

TEST_F(MonitorTest, NmiWhileTheMonitorHoldsTheCpuIsIgnored) {
  Boot();
  Rom(0x66, {0xC3, u8(header.nmi_entry.get()), u8(header.nmi_entry.get() >> 8)});
  Ram(kRam, {0x18, 0xFE});  // JR $
  board.WriteRegisterMasked(kRegControl, kCtlNmiPulse, kCtlNmiPulse);
  board.WriteRegisterMasked(kRegControl, 0, kCtlNmiPulse);
  target.Run(1000);
  DevRegisters go;
  go.sp = kStack, go.pc = kRam;
  Go(go);
  target.Run(kPlenty);
  EXPECT_FALSE(target.MonitorInControl());
  EXPECT_TRUE(Replies().empty());
}

// The engine's monitor service run: PC at code + (position AND 127), which
// holds the configured break; the break vector jumps to the break entry.
TEST_F(MonitorTest, ServiceRunStopsOnTheBreakTheEnginePutIn) {
  const struct {
    u8 opcode;
    u16 vector;
  } cases[] = {{0xFF, 0x38}, {0xF7, 0x30}, {0xCF, 0x08}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.opcode));
    WriteImage(c.opcode);
    PatchResetVector();
    board.MonitorEnable(1);
    ResetInto(kDevColdStartBank);
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorHello});
    Rom(c.vector, {0xC3, u8(header.break_entry.get()), u8(header.break_entry.get() >> 8)});
    DevRegisters go;
    go.sp = kStack;
    go.pc = u16(Code() + (header.position.get() & 127));
    Go(go);
    target.Run(kPlenty);
    ASSERT_TRUE(target.MonitorInControl());
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorStopBreak});
    EXPECT_EQ(ReadStop(kMonitorStopBreak).pc, u16(go.pc + 1));
    Rom(c.vector, {0xFF, 0xFF, 0xFF});
  }
}

TEST_F(MonitorTest, ResetWhileRunningDropsTheProgramAndColdStartsAgain) {
  Boot();
  Ram(kRam, {0x18, 0xFE});
  DevRegisters go;
  go.sp = kStack, go.pc = kRam;
  Go(go);
  target.Run(kPlenty);
  ASSERT_EQ(board.CheckRun() & 1, 1);
  ResetInto(kDevColdStartBank);
  EXPECT_EQ(board.CheckRun() & 1, 0);
  EXPECT_TRUE(target.MonitorInControl());
  EXPECT_EQ(Replies(), std::vector<u8>{kMonitorHello});
}

}  // namespace
