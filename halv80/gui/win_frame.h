// The main frame of the window side and the child-window table it owns. The
// frame checks the platform and the emulator interface library, runs the
// command side's start-up until it waits for a key, creates the child windows
// from the saved layout on its first paint, starts the heartbeat, asks before
// closing, saves the layout, and runs the command side's exit path. FrameState
// holds the frame-side globals; frame_reset_state() gives them their start-up
// values.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/gui/win_mdi.h"
#include "platform/owl/owl_window.h"

constexpr u16 kChildCount = 13;
constexpr u16 kLayoutRecordCount = 15;
constexpr u16 kChildWatch = 0;
constexpr u16 kChildRegister = 2;
constexpr u16 kChildBreak = 6;
constexpr u16 kChildMemo = 7;
constexpr u16 kChildHistory = 8;
constexpr u16 kChildInspect = 9;
constexpr u16 kChildCommand = 10;
constexpr u16 kChildCode = 11;
constexpr u16 kChildCode1 = 12;
constexpr u16 kRecordFrame = 13;
constexpr u16 kRecordClient = 14;
constexpr u16 kHighestRank = 12;

constexpr u8 kShowNormal = 0;
constexpr u8 kShowMinimized = 1;
constexpr u8 kShowMaximized = 2;
constexpr u8 kShowPlace = 4;  // placement to apply (transient)

constexpr std::size_t kFaceNameSize = 32;  // with its terminator

// One window's saved placement, colours and font, in the system's field order.
// Colours are 0x00BBGGRR values, as the project file stores them.
struct WindowLayoutRecord {
  i32 left = 0, top = 0, right = 0, bottom = 0;
  u8 showState = kShowNormal;
  u8 activationRank = 0;   // 1..12, 12 the most recently activated; 0 none
  u8 keepSize = 0;         // WindowResizeMode when the rectangle was recorded
  i32 backgroundColour = 0, textColour = 0, highlightColour = 0;
  i32 height = 0, width = 0, weight = 0;
  u8 italic = 0, outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0, charSet = 0;
  char faceName[kFaceNameSize]{};
};

struct ChildWindowTable {
  std::array<TMDIChild*, kChildCount> windows{};  // by child index; null until created
  u16 activeIndex = 0;
  TMDIChild* inspectChainHead = nullptr;  // the oldest inspect window
  TMDIChild* commandWindow = nullptr;
  TMDIChild* consoleWindow = nullptr;     // the code window showing the engine's code pane
  class QN_Frame* mainFrame = nullptr;
  u16 savedActiveIndex = 0;  // active index + 1 while an engine request holds the focus
  u16 inspectOpening = 0;
  std::array<WindowLayoutRecord, kLayoutRecordCount> layout{};
};

constexpr std::size_t kToolBarButtonMax = 64;  // with the end marker
constexpr i32 kToolBarSeparator = -1;
constexpr i32 kToolBarEnd = -2;
constexpr std::size_t kViewOptionWordCount = 5;
constexpr std::size_t kSharedRowSize = 512;
constexpr std::size_t kHistoryCount = 5;

struct FrameState {
  ChildWindowTable Children{};
  u16 ChildrenCreated = 0;
  u16 ExitWithoutAsking = 0;
  u16 HeartbeatRunning = 0;               // timer 1 of the code window runs
  std::string HelpFilePath;               // CP932
  std::vector<u8> SharedRowText;          // kSharedRowSize bytes once the frame is built
  std::vector<u8> SharedRowAttributes;
  // InspectChange, InspectRange, Expression, BreakAddress, Find histories
  std::array<std::vector<std::string>, kHistoryCount> Histories{};
  bool HistoriesCreated = false;
  // Layout state kept in the project file.
  std::vector<i32> ToolBarButtons;         // ids, -1 separators, ended by -2 (empty: none)
  u16 WindowResizeMode = 0;
  u16 SavedHintValue = 0;                 // 1 when the hint mode was 1
  std::array<u16, kViewOptionWordCount> ViewOptionWords{};
  std::string KeptOptionText;             // the %OPT body and CR LF; empty none
  std::string KeptProjectText;            // the %PRJ body; empty none
  std::string ProjectDirectory;           // at most 255 bytes
};
extern FrameState Frame;

// Start-up values; the child windows are not touched (they belong to the frame).
void frame_reset_state();

// The project file's name, in the current folder.
constexpr std::string_view kProjectFileName = "qqn80.qpj";

// A child window class: makes the window object for child `index` in the
// client, titled `title` (CP932). The factories of classes that exist are set
// at start; the others stay null and their entries are never created.
using ChildFactory = TMDIChild* (*)(TMDICltNEW& client, u16 index, std::string_view title);
void win_set_child_factory(u16 index, ChildFactory factory);
ChildFactory win_child_factory(u16 index);

// What the frame's start-up runs, replaceable by tests: the command side's
// entry and the checks of the platform and the library (0 when they pass,
// else the string id of the failure).
struct FrameHooks {
  void (*commandMain)() = nullptr;  // null: cmd_main
  u16 (*checkLibrary)() = nullptr;  // null: the library's checks
};
extern FrameHooks FrameStartHooks;

// The decorated MDI frame with nothing added but its constructor.
class QMDIFrame : public TDecoratedMDIFrame {
 public:
  QMDIFrame(std::string_view title, u32 menu_resource, TMDIClient& client, bool trackMenuSelection)
      : TDecoratedMDIFrame(title, menu_resource, client, trackMenuSelection) {}
};

// The main window of the debugger.
class QN_Frame : public QMDIFrame {
 public:
  // title CP932. Reads the %SYS and %OPT sections of the project file.
  QN_Frame(std::string_view title, u32 menu_resource, TMDICltNEW& client, bool trackMenuSelection);
  ~QN_Frame() override;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // Start-up checks and the command side's start-up.
  void SetupWindow() override;
  bool CanClose() override;

  void EvPaint();
  void EvSize(u32 sizeType, const TSize& size);
  void EvInitMenuPopup(TMenu& popup, u32 index, bool systemMenu);
  void EvDestroy();
  // The hint of the menu item or button under the pointer (0: none) in the
  // status bar's message field.
  i64 EvMenuSelect(u64 id, i64);
  // The first paint's work, run once outside the paint itself.
  i64 EvFirstPaint(u64, i64);

  // Writes the frame rectangle and the project file's sections.
  void SaveLayout();
  TMDICltNEW& Client() const { return client_; }
  // Where the frame is placed when shown (screen coordinates).
  const TRect& Placement() const { return placement_; }
  bool ShowMaximized() const { return maximized_; }

 private:
  void RunStartup();
  void CreateChildren();
  TMDICltNEW& client_;
  TRect placement_{0, 50, 1000, 750};
  bool maximized_ = false;
  bool firstPaintPosted_ = false;
};

// Message boxes of the window side are task-modal.
constexpr unsigned kTaskModal = 0x2000;

// The message that carries the first paint's work.
constexpr u32 kFirstPaintMessage = WM_USER + 0x101;
