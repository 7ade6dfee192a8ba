// The edges where the system's CP932 texts and key messages meet Qt's Unicode
// strings and key events. Keys follow the system's keyboard rules: Alt without
// Ctrl makes system keys, Ctrl+letter makes the control characters 0x01-0x1A,
// typed text arrives as CP932 bytes, one WM_CHAR each.
#include <QColor>

#include "platform/host/host_text.h"
#include "platform/owl/owl_qt.h"

QString owl_qstring(std::string_view cp932) { return QString::fromStdString(host_cp932_to_utf8(cp932)); }

std::string owl_cp932(const QString& text) { return host_utf8_to_cp932(text.toStdString()); }

QColor owl_qcolor(COLORREF c) { return QColor(owl_red(c), owl_green(c), owl_blue(c)); }

COLORREF owl_colorref(QColor c) { return owl_rgb(u8(c.red()), u8(c.green()), u8(c.blue())); }

namespace {

struct KeyRow {
  int qt;
  u32 vk;
};

// Qt keys whose virtual key is not their own code. Shifted symbols give the
// key they are typed with on the US layout.
constexpr KeyRow kKeyTable[] = {
    {Qt::Key_Backspace, VK_BACK},     {Qt::Key_Tab, VK_TAB},          {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Clear, VK_CLEAR},        {Qt::Key_Return, VK_RETURN},    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT},        {Qt::Key_Control, VK_CONTROL},  {Qt::Key_Alt, VK_MENU},
    {Qt::Key_Pause, VK_PAUSE},        {Qt::Key_CapsLock, VK_CAPITAL}, {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},        {Qt::Key_PageUp, VK_PRIOR},     {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},            {Qt::Key_Home, VK_HOME},        {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},              {Qt::Key_Right, VK_RIGHT},      {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Print, VK_SNAPSHOT},     {Qt::Key_Insert, VK_INSERT},    {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Help, VK_HELP},          {Qt::Key_Menu, VK_APPS},        {Qt::Key_NumLock, VK_NUMLOCK},
    {Qt::Key_ScrollLock, VK_SCROLL},  {Qt::Key_Semicolon, VK_OEM_1},  {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},     {Qt::Key_Plus, VK_OEM_PLUS},    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Less, VK_OEM_COMMA},     {Qt::Key_Minus, VK_OEM_MINUS},  {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD},  {Qt::Key_Greater, VK_OEM_PERIOD}, {Qt::Key_Slash, VK_OEM_2},
    {Qt::Key_Question, VK_OEM_2},     {Qt::Key_QuoteLeft, VK_OEM_3},  {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},  {Qt::Key_BraceLeft, VK_OEM_4},  {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},          {Qt::Key_BracketRight, VK_OEM_6}, {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},   {Qt::Key_QuoteDbl, VK_OEM_7},   {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},                {Qt::Key_NumberSign, '3'},      {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},           {Qt::Key_AsciiCircum, '6'},     {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},          {Qt::Key_ParenLeft, '9'},       {Qt::Key_ParenRight, '0'},
};

// Keys that the system marks as extended: the navigation block beside the
// main keys.
bool extended_key(u32 vk, Qt::KeyboardModifiers mods) {
  if (mods & Qt::KeypadModifier) return vk == VK_RETURN || vk == VK_DIVIDE;
  return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
}

bool system_key(u32 vk, Qt::KeyboardModifiers mods) {
  const bool alt = mods & Qt::AltModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  return (alt && !ctrl) || (vk == VK_F10 && !ctrl);
}

// The control character that Ctrl with this key types, or 0.
u8 control_character(u32 vk, bool shift) {
  if (vk >= 'A' && vk <= 'Z') return u8(vk - 'A' + 1);
  switch (vk) {
    case VK_OEM_4: return 0x1B;
    case VK_OEM_5: return 0x1C;
    case VK_OEM_6: return 0x1D;
    case '6': return shift ? 0x1E : 0;
    case VK_OEM_MINUS: return shift ? 0x1F : 0;
    case VK_RETURN: return 0x0A;
    case VK_BACK: return 0x7F;
    case VK_SPACE: return 0x20;
    default: return 0;
  }
}

void add_chars(std::vector<OwlMessage>& out, u32 message, const QString& text, i64 data) {
  for (char c : owl_cp932(text)) out.push_back({message, u8(c), data});
}

}  // namespace

u32 owl_virtual_key(int key, Qt::KeyboardModifiers mods) {
  const bool keypad = mods & Qt::KeypadModifier;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return u32(key);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? VK_NUMPAD0 + u32(key - Qt::Key_0) : u32(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + u32(key - Qt::Key_F1);
  if (keypad) {
    switch (key) {
      case Qt::Key_Asterisk: return VK_MULTIPLY;
      case Qt::Key_Plus: return VK_ADD;
      case Qt::Key_Minus: return VK_SUBTRACT;
      case Qt::Key_Period: return VK_DECIMAL;
      case Qt::Key_Slash: return VK_DIVIDE;
      default: break;
    }
  }
  for (const KeyRow& row : kKeyTable)
    if (row.qt == key) return row.vk;
  return 0;
}

std::vector<OwlMessage> owl_key_press_messages(const QKeyEvent& e) {
  std::vector<OwlMessage> out;
  Qt::KeyboardModifiers mods = e.modifiers();
  // Qt reports a modifier key's own press without its modifier
  if (e.key() == Qt::Key_Alt) mods |= Qt::AltModifier;
  const u32 vk = owl_virtual_key(e.key(), mods);
  const bool alt = mods & Qt::AltModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  const bool shift = mods & Qt::ShiftModifier;
  const bool sys = system_key(vk, mods);
  const u32 flags = (alt ? KF_ALTDOWN : 0) | (e.isAutoRepeat() ? KF_REPEAT : 0) | (extended_key(vk, mods) ? KF_EXTENDED : 0);
  const i64 data = owl_make_long(1, u16(flags));
  if (vk != 0) out.push_back({sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, data});

  if (ctrl && alt) return out;  // no character on the US layout
  if (ctrl) {
    if (const u8 c = control_character(vk, shift)) out.push_back({WM_CHAR, c, data});
    return out;
  }
  switch (vk) {
    case VK_ESCAPE: out.push_back({sys ? WM_SYSCHAR : WM_CHAR, 0x1B, data}); return out;
    case VK_RETURN: out.push_back({sys ? WM_SYSCHAR : WM_CHAR, 0x0D, data}); return out;
    case VK_BACK: out.push_back({sys ? WM_SYSCHAR : WM_CHAR, 0x08, data}); return out;
    case VK_TAB: out.push_back({sys ? WM_SYSCHAR : WM_CHAR, 0x09, data}); return out;
    default: break;
  }
  // printable text only: Delete and the like type nothing
  QString text = e.text();
  text.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
  if (!text.isEmpty()) add_chars(out, sys ? WM_SYSCHAR : WM_CHAR, text, data);
  return out;
}

std::vector<OwlMessage> owl_key_release_messages(const QKeyEvent& e) {
  std::vector<OwlMessage> out;
  if (e.isAutoRepeat()) return out;  // a held key repeats its WM_KEYDOWN only
  const Qt::KeyboardModifiers mods = e.modifiers();
  const u32 vk = owl_virtual_key(e.key(), mods);
  if (vk == 0) return out;
  const bool alt = mods & Qt::AltModifier;
  const u32 flags = KF_UP | KF_REPEAT | (alt ? KF_ALTDOWN : 0) | (extended_key(vk, mods) ? KF_EXTENDED : 0);
  out.push_back({system_key(vk, mods) ? WM_SYSKEYUP : WM_KEYUP, vk, owl_make_long(1, u16(flags))});
  return out;
}

std::vector<OwlMessage> owl_text_messages(const QString& text) {
  std::vector<OwlMessage> out;
  add_chars(out, WM_CHAR, text, owl_make_long(1, 0));
  return out;
}
