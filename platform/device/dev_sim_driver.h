// The interface card's driver, simulated: a DeviceDriver that carries out the
// library's I/O-control requests on a DevTarget (board, CPU and monitor).
// Each request holds the board's lock, delivers the channel bytes the library
// gathered in the work area, then does its own work. Every number a request
// carries (register, bank, count, token) is checked before it reaches
// anything; a request that cannot be carried out fails with a system error
// code, as a kernel driver's would.
//
// Time, in one of two ways. Once StartThread() has run, the board runs beside
// the host (DevRunner): the CPU runs on the board's thread whenever it can,
// requests see it between two slices, and waits count virtual time. Before,
// the CPU runs only inside requests: each first runs the T-states its DevClock
// owes (a fixed budget per call in repeatable tests), and waits run it for
// their time.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/dev_clock.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_runner.h"
#include "platform/device/dev_target.h"
#include "platform/device/dev_layout.h"

// System error codes of failed requests.
constexpr u32 kErrorInvalidFunction = 1;    // not a request of the table
constexpr u32 kErrorInvalidParameter = 87;  // a length, register or bank the card refuses
constexpr u32 kErrorNoAccess = 998;         // a token that names no (or too little) caller memory

// What the driver reports as its status: version 1.0 in the top byte.
constexpr u32 kSimDriverStatus = 0x01000000;
// The function set the driver serves (request 57).
constexpr u32 kSimFunctionSet = 1;
// The transcript keeps the latest entries only.
constexpr std::size_t kSimTranscriptLimit = 10'000;
// A flush drops at most this many bytes, so a target that never stops sending
// cannot hold the request forever.
constexpr std::size_t kSimFlushLimit = 1000;

// One line of the transcript: a request, or a byte on the channel.
struct SimTranscriptEntry {
  enum class Kind : u8 {
    Request,     // value: request number (all ones for a code of another form); result: result
                 // word, or the error code when !ok
    ToTarget,    // value: the byte; ok: false when a FIFO held in reset dropped it
    FromTarget,  // value: the byte the driver took from the receive FIFO
  };
  Kind kind = Kind::Request;
  u32 value = 0;
  u32 result = 0;
  bool ok = true;
  bool operator==(const SimTranscriptEntry&) const = default;
};

class SimulatedDriver : public DeviceDriver {
 public:
  explicit SimulatedDriver(const DevFixture& fixture = DevFixture{});

  bool IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                 u32& error) override;

  // The board runs beside the host from now on, on its own thread.
  void StartThread(DevPacing pacing = DevPacing::FullSpeed) { runner_.Start(pacing); }
  // The board's CPU held to its clock, or at full speed, from now on.
  void SetPacing(DevPacing pacing) { runner_.SetPacing(pacing); }
  // The board's lock, taken as a request takes it. While the board's thread
  // runs, whoever looks at Target(), Board() or Clock() holds it.
  DevRunner::Turn Hold() { return DevRunner::Turn(runner_); }

  DevTarget& Target() { return target_; }
  DevBoard& Board() { return target_.Board(); }
  DevClock& Clock() { return clock_; }

  // Faults a test injects: the target's supply, and a monitor that reads
  // requests but never answers.
  void SetTargetPower(bool on);
  void SetMonitorHung(bool hung);

  // A channel byte that went through the card's ports (the direct back end),
  // for the transcript; the caller holds the board.
  void RecordPortByte(SimTranscriptEntry::Kind direction, u8 value, bool ok) { Record({direction, value, 0, ok}); }

  // The latest requests and channel bytes, oldest first (kSimTranscriptLimit).
  const std::deque<SimTranscriptEntry>& Transcript() const { return transcript_; }
  void ClearTranscript();
  // The channel bytes of the transcript in one direction, oldest first.
  std::vector<u8> ChannelBytes(SimTranscriptEntry::Kind direction) const;
  // The transcript as text, one entry a line ("REQ 23 -> 0x41", "TX 08",
  // "RX 41"), for a failing test's output.
  std::string TranscriptText() const;

 private:
  struct Call;         // the request being carried out
  enum class Feed : u8 { Sent, TimedOut, InputWaiting };

  // IoControl with the board held.
  bool Carry(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned, u32& error);
  bool Dispatch(u32 request, Call& call);
  bool Channel(u32 request, Call& call);
  bool Control(u32 request, Call& call);
  bool Memory(u32 request, Call& call);
  bool AbsentHardware(u32 request, Call& call);
  bool Instruments(u32 request, Call& call);

  void DeliverGathered(Call& call);
  Feed FeedByte(Call& call, u8 value, bool stop_on_input);
  template <class Ready>
  bool WaitFor(const BiosWorkArea& work, Ready ready);
  u8 TakeByte();
  void PassTime(u32 ms);
  // A status read while the program runs: the board runs a little first, so
  // that a caller polling for a stop leaves the CPU its time.
  void BeforeStatusRead();
  void InterfaceSetup(BiosWorkArea& work);
  void BreakPortSelect(BiosWorkArea& work);
  void WriteMasked(BiosWorkArea& work, u8 reg, u8 value, u8 mask);
  void WriteWhole(BiosWorkArea& work, u8 reg, u8 value);
  // Sets a control-register bit and clears it again: one strobe.
  void Pulse(BiosWorkArea& work, u8 bit);

  std::size_t Record(SimTranscriptEntry entry);
  void SetRequestResult(std::size_t sequence, u32 result, bool ok);

  DevTarget target_;
  DevClock clock_;
  std::deque<SimTranscriptEntry> transcript_;
  std::size_t first_sequence_ = 0;  // the sequence number of transcript_.front()
  // Last, so that its thread ends before anything it runs on goes.
  DevRunner runner_{target_};
  std::unique_lock<std::mutex>* held_ = nullptr;  // the lock of the request in progress
};

// Which road the library takes to the simulated card: through the driver
// entry (the default), or straight to the card's ports (the library's direct
// back end, chosen by HALV80_BACKEND=direct).
constexpr const char* kDevBackendVariable = "HALV80_BACKEND";
enum class DevBackend : u8 { Driver, Direct, Unknown };
// Unset, empty or "driver": Driver; "direct": Direct; anything else: Unknown.
DevBackend dev_backend_from_environment();

// The simulated emulator where a program's card and driver would be: the
// driver's parameters installed as the driver's installation would (unless
// the registry store holds the user's own), a fresh driver entry with the
// simulated driver behind it, and the board running on its own thread (at
// full speed unless the environment holds it to its clock). With the direct
// back end the system reports the platform whose programs drive the card's
// ports, and the board's ports answer at the card's address. The seam lets go
// of both when the object goes.
class DevProgramEmulator {
 public:
  DevProgramEmulator() = default;
  DevProgramEmulator(const DevProgramEmulator&) = delete;
  DevProgramEmulator& operator=(const DevProgramEmulator&) = delete;
  ~DevProgramEmulator();

  // False, with a line on standard error naming `program`, when the driver's
  // parameters could not be written, or when the environment names no back
  // end.
  bool Install(std::string_view program);

 private:
  std::unique_ptr<SimulatedDriver> driver_;
  std::unique_ptr<DevicePorts> ports_;
};
