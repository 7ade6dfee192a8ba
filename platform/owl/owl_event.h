// Messages and response tables. A message is (id, wParam, lParam); every
// window and the application answer messages through a per-class table of
// entries {message or command id, handler}. Find searches the class's own table
// and then its base class's; what no table answers goes to the framework's
// default. Entries are made by the templates below, which unpack the message
// words into the handler's arguments, so a table row names only the handler.
#pragma once

#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/owl/owl_defs.h"

class TWindow;
class TMenu;
class TCommandEnabler;
class TDC;

struct OwlMessage {
  u32 message = WM_NULL;
  u64 wParam = 0;
  i64 lParam = 0;
};

class TEventHandler;
using ResponseDispatch = i64 (*)(TEventHandler& target, OwlMessage& msg);

// Not a window message: the table row of a command enabler.
constexpr u32 kCommandEnableMessage = 0x10000;

struct ResponseEntry {
  u32 message;  // WM_*, WM_COMMAND, or kCommandEnableMessage
  u32 id;       // the command id of WM_COMMAND and enabler rows; 0 otherwise
  ResponseDispatch dispatch;
};

// The row of (message, id) in `table`, or nullptr.
const ResponseEntry* owl_search_table(std::span<const ResponseEntry> table, u32 message, u32 id);

class TEventHandler {
 public:
  virtual ~TEventHandler() = default;
  // The row answering (message, id): each class searches its own table, then
  // returns its base's Find. The root answers nothing.
  virtual const ResponseEntry* Find(u32 message, u32 id);
  // Adds the command ids that have an enabler row in this handler's tables;
  // the idle pass runs those enablers too, shown in a menu or not.
  virtual void AddEnablerIds(std::vector<u32>&) {}
};

// Appends the ids of the enabler rows of `table` that `ids` lacks.
void owl_table_enabler_ids(std::span<const ResponseEntry> table, std::vector<u32>& ids);

// What a message word carries when it carries an object.
template <class T>
T* owl_message_ptr(i64 word) { return reinterpret_cast<T*>(static_cast<std::intptr_t>(word)); }
template <class T>
i64 owl_ptr_word(T* p) { return static_cast<i64>(reinterpret_cast<std::intptr_t>(p)); }

// Minimum and maximum track sizes (WM_GETMINMAXINFO).
struct TMinMaxInfo {
  TSize maxSize;
  TPoint maxPosition;
  TSize minTrackSize;
  TSize maxTrackSize;
};

namespace owl_detail {
template <class>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
};
template <auto Handler>
using HandlerClass = typename MemberOf<decltype(Handler)>::Class;

template <class Call>
i64 result_of(Call&& call) {
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    return 0;
  } else {
    return i64(call());
  }
}
inline TPoint point_of(i64 l) { return TPoint{i16(owl_lo(u64(l))), i16(owl_hi(u64(l)))}; }
}  // namespace owl_detail

// Row for command `id`: void Handler().
template <auto Handler>
constexpr ResponseEntry EvCommand(u32 id) {
  using C = owl_detail::HandlerClass<Handler>;
  return {WM_COMMAND, id, [](TEventHandler& t, OwlMessage&) -> i64 {
            (static_cast<C&>(t).*Handler)();
            return 0;
          }};
}

// Row for the enabler of command `id`: void Handler(TCommandEnabler&).
template <auto Handler>
constexpr ResponseEntry EvCommandEnable(u32 id) {
  using C = owl_detail::HandlerClass<Handler>;
  return {kCommandEnableMessage, id, [](TEventHandler& t, OwlMessage& m) -> i64 {
            (static_cast<C&>(t).*Handler)(*owl_message_ptr<TCommandEnabler>(m.lParam));
            return 0;
          }};
}

// Row for message Msg. The handler's arguments by message:
//   WM_SIZE (u32 sizeType, const TSize& clientSize)
//   WM_MOVE (const TPoint& clientOrigin)
//   WM_SIZING (u32 edge, TRect& rect)
//   WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_CHAR, WM_SYSCHAR
//     (u32 keyOrChar, u32 repeatCount, u32 flags)        flags: KF_*
//   mouse messages (u32 modKeys, const TPoint& point)      modKeys: MK_*
//   WM_SYSCOMMAND (u32 command, const TPoint& point)
//   WM_TIMER (u32 timerId)
//   WM_VSCROLL, WM_HSCROLL (u32 scrollCode, u32 thumbPos)
//   WM_SETFOCUS, WM_KILLFOCUS (TWindow* other)             other may be null
//   WM_MDIACTIVATE (TWindow* activated, TWindow* deactivated)
//   WM_INITMENUPOPUP (TMenu& popup, u32 index, bool systemMenu)
//   WM_ERASEBKGND (TDC& dc) returning bool
//   WM_GETMINMAXINFO (TMinMaxInfo& info)
//   WM_CREATE, WM_DESTROY, WM_CLOSE, WM_PAINT ()
//   any other message (u64 wParam, i64 lParam) returning i64
template <u32 Msg, auto Handler>
constexpr ResponseEntry EvMessage() {
  using C = owl_detail::HandlerClass<Handler>;
  return {Msg, 0, [](TEventHandler& t, OwlMessage& m) -> i64 {
            C& w = static_cast<C&>(t);
            using owl_detail::result_of;
            if constexpr (Msg == WM_SIZE) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam), TSize{owl_lo(u64(m.lParam)), owl_hi(u64(m.lParam))}); });
            } else if constexpr (Msg == WM_MOVE) {
              return result_of([&] { return (w.*Handler)(owl_detail::point_of(m.lParam)); });
            } else if constexpr (Msg == WM_SIZING) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam), *owl_message_ptr<TRect>(m.lParam)); });
            } else if constexpr (Msg == WM_KEYDOWN || Msg == WM_KEYUP || Msg == WM_SYSKEYDOWN ||
                                 Msg == WM_SYSKEYUP || Msg == WM_CHAR || Msg == WM_SYSCHAR) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam), u32(owl_lo(u64(m.lParam))), u32(owl_hi(u64(m.lParam)))); });
            } else if constexpr (Msg >= WM_MOUSEMOVE && Msg <= WM_MBUTTONDBLCLK) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam), owl_detail::point_of(m.lParam)); });
            } else if constexpr (Msg == WM_SYSCOMMAND) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam), owl_detail::point_of(m.lParam)); });
            } else if constexpr (Msg == WM_TIMER) {
              return result_of([&] { return (w.*Handler)(u32(m.wParam)); });
            } else if constexpr (Msg == WM_VSCROLL || Msg == WM_HSCROLL) {
              return result_of([&] { return (w.*Handler)(u32(owl_lo(m.wParam)), u32(owl_hi(m.wParam))); });
            } else if constexpr (Msg == WM_SETFOCUS || Msg == WM_KILLFOCUS) {
              return result_of([&] { return (w.*Handler)(owl_message_ptr<TWindow>(i64(m.wParam))); });
            } else if constexpr (Msg == WM_MDIACTIVATE) {
              return result_of([&] { return (w.*Handler)(owl_message_ptr<TWindow>(m.lParam), owl_message_ptr<TWindow>(i64(m.wParam))); });
            } else if constexpr (Msg == WM_INITMENUPOPUP) {
              return result_of([&] { return (w.*Handler)(*owl_message_ptr<TMenu>(i64(m.wParam)), u32(owl_lo(u64(m.lParam))), owl_hi(u64(m.lParam)) != 0); });
            } else if constexpr (Msg == WM_ERASEBKGND) {
              return result_of([&] { return (w.*Handler)(*owl_message_ptr<TDC>(i64(m.wParam))); });
            } else if constexpr (Msg == WM_GETMINMAXINFO) {
              return result_of([&] { return (w.*Handler)(*owl_message_ptr<TMinMaxInfo>(m.lParam)); });
            } else if constexpr (Msg == WM_CREATE || Msg == WM_DESTROY || Msg == WM_CLOSE || Msg == WM_PAINT) {
              return result_of([&] { return (w.*Handler)(); });
            } else {
              return (w.*Handler)(m.wParam, m.lParam);
            }
          }};
}
