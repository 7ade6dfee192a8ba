// Qt key events into the system's key messages.
#include <gtest/gtest.h>

#include "platform/owl/owl_qt.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

struct Msg {
  u32 message;
  u32 code;
  u32 flags;  // high half of the key data
  friend bool operator==(const Msg&, const Msg&) = default;
};

std::ostream& operator<<(std::ostream& os, const Msg& m) {
  return os << std::hex << "{" << m.message << "," << m.code << "," << m.flags << "}";
}

std::vector<Msg> simplify(const std::vector<OwlMessage>& in) {
  std::vector<Msg> out;
  for (const OwlMessage& m : in) out.push_back({m.message, u32(m.wParam), owl_hi(u64(m.lParam))});
  return out;
}

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers kPad = Qt::KeypadModifier;

TEST(OwlKeys, PressesGiveKeyAndCharacterMessages) {
  owl_test_app();
  const struct {
    const char* what;
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;  // UTF-8, as Qt reports it
    bool repeat;
    std::vector<Msg> expect;
  } cases[] = {
      {"a", Qt::Key_A, kNone, "a", false, {{WM_KEYDOWN, 'A', 0}, {WM_CHAR, 'a', 0}}},
      {"Shift+A", Qt::Key_A, kShift, "A", false, {{WM_KEYDOWN, 'A', 0}, {WM_CHAR, 'A', 0}}},
      {"Ctrl+A", Qt::Key_A, kCtrl, "\x01", false, {{WM_KEYDOWN, 'A', 0}, {WM_CHAR, 0x01, 0}}},
      {"Ctrl+Z", Qt::Key_Z, kCtrl, "", false, {{WM_KEYDOWN, 'Z', 0}, {WM_CHAR, 0x1A, 0}}},
      {"Ctrl+Shift+Q", Qt::Key_Q, kCtrl | kShift, "", false, {{WM_KEYDOWN, 'Q', 0}, {WM_CHAR, 0x11, 0}}},
      {"Ctrl+[", Qt::Key_BracketLeft, kCtrl, "", false, {{WM_KEYDOWN, VK_OEM_4, 0}, {WM_CHAR, 0x1B, 0}}},
      {"Ctrl+1 types nothing", Qt::Key_1, kCtrl, "1", false, {{WM_KEYDOWN, '1', 0}}},
      {"Alt+X", Qt::Key_X, kAlt, "x", false, {{WM_SYSKEYDOWN, 'X', KF_ALTDOWN}, {WM_SYSCHAR, 'x', KF_ALTDOWN}}},
      {"Alt alone", Qt::Key_Alt, kAlt, "", false, {{WM_SYSKEYDOWN, VK_MENU, KF_ALTDOWN}}},
      {"Ctrl+Alt+E", Qt::Key_E, kCtrl | kAlt, "e", false, {{WM_KEYDOWN, 'E', KF_ALTDOWN}}},
      {"F10 is a system key", Qt::Key_F10, kNone, "", false, {{WM_SYSKEYDOWN, VK_F10, 0}}},
      {"Ctrl+F10", Qt::Key_F10, kCtrl, "", false, {{WM_KEYDOWN, VK_F10, 0}}},
      {"F1", Qt::Key_F1, kNone, "", false, {{WM_KEYDOWN, VK_F1, 0}}},
      {"Ctrl+F5", Qt::Key_F5, kCtrl, "", false, {{WM_KEYDOWN, VK_F1 + 4, 0}}},
      {"Escape", Qt::Key_Escape, kNone, "\x1b", false, {{WM_KEYDOWN, VK_ESCAPE, 0}, {WM_CHAR, 0x1B, 0}}},
      {"Return", Qt::Key_Return, kNone, "\r", false, {{WM_KEYDOWN, VK_RETURN, 0}, {WM_CHAR, 0x0D, 0}}},
      {"Backspace", Qt::Key_Backspace, kNone, "\b", false, {{WM_KEYDOWN, VK_BACK, 0}, {WM_CHAR, 0x08, 0}}},
      {"Tab", Qt::Key_Tab, kNone, "\t", false, {{WM_KEYDOWN, VK_TAB, 0}, {WM_CHAR, 0x09, 0}}},
      {"Page Down", Qt::Key_PageDown, kNone, "", false, {{WM_KEYDOWN, VK_NEXT, KF_EXTENDED}}},
      {"Delete types nothing", Qt::Key_Delete, kNone, "\x7f", false, {{WM_KEYDOWN, VK_DELETE, KF_EXTENDED}}},
      {"held Left", Qt::Key_Left, kNone, "", true, {{WM_KEYDOWN, VK_LEFT, KF_EXTENDED | KF_REPEAT}}},
      {"Home", Qt::Key_Home, kNone, "", false, {{WM_KEYDOWN, VK_HOME, KF_EXTENDED}}},
      {"keypad 5", Qt::Key_5, kPad, "5", false, {{WM_KEYDOWN, VK_NUMPAD0 + 5, 0}, {WM_CHAR, '5', 0}}},
      {"keypad Enter", Qt::Key_Enter, kPad, "\r", false, {{WM_KEYDOWN, VK_RETURN, KF_EXTENDED}, {WM_CHAR, 0x0D, KF_EXTENDED}}},
      {"Shift+1", Qt::Key_Exclam, kShift, "!", false, {{WM_KEYDOWN, '1', 0}, {WM_CHAR, '!', 0}}},
      {"Shift+;", Qt::Key_Colon, kShift, ":", false, {{WM_KEYDOWN, VK_OEM_1, 0}, {WM_CHAR, ':', 0}}},
      {"double-byte text", 0, kNone, "漢", false, {{WM_CHAR, 0x8A, 0}, {WM_CHAR, 0xBF, 0}}},
      {"half-width kana", 0, kNone, "ｱ", false, {{WM_CHAR, 0xB1, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QKeyEvent e(QEvent::KeyPress, c.key, c.mods, QString::fromUtf8(c.text), c.repeat);
    EXPECT_EQ(simplify(owl_key_press_messages(e)), c.expect);
  }
}

TEST(OwlKeys, ReleasesGiveKeyUpOnceHeldKeysEnd) {
  owl_test_app();
  const struct {
    const char* what;
    int key;
    Qt::KeyboardModifiers mods;
    bool repeat;
    std::vector<Msg> expect;
  } cases[] = {
      {"A", Qt::Key_A, kNone, false, {{WM_KEYUP, 'A', KF_UP | KF_REPEAT}}},
      {"Alt+X", Qt::Key_X, kAlt, false, {{WM_SYSKEYUP, 'X', KF_UP | KF_REPEAT | KF_ALTDOWN}}},
      {"Down", Qt::Key_Down, kNone, false, {{WM_KEYUP, VK_DOWN, KF_UP | KF_REPEAT | KF_EXTENDED}}},
      {"a repeat's release", Qt::Key_A, kNone, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QKeyEvent e(QEvent::KeyRelease, c.key, c.mods, QString(), c.repeat);
    EXPECT_EQ(simplify(owl_key_release_messages(e)), c.expect);
  }
}

TEST(OwlKeys, InputMethodTextArrivesAsCp932Bytes) {
  owl_test_app();
  const std::vector<Msg> expect = {
      {WM_CHAR, 'A', 0}, {WM_CHAR, 0xB1, 0}, {WM_CHAR, 0x8A, 0}, {WM_CHAR, 0xBF, 0}, {WM_CHAR, 0x5C, 0}};
  EXPECT_EQ(simplify(owl_text_messages(QString::fromUtf8("Aｱ漢\\"))), expect);
}

}  // namespace
