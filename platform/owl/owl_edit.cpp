// The edit control over QPlainTextEdit, and the edit file.
#include "platform/owl/owl_edit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <vector>

#include "platform/host/host_file.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_dc.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/owl_system.h"

// The control's widget: every key, the focus and the right button go to the
// window's table first.
struct OwlEditQt : public QPlainTextEdit {
  OwlEditQt(TEdit* owner, QWidget* parent) : QPlainTextEdit(parent), owner_(owner) {
    setTabChangesFocus(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  TEdit* owner_;

  // Sends the messages; true when each of them was left to the control.
  bool Offer(const std::vector<OwlMessage>& messages) {
    QPointer<OwlEditQt> alive(this);
    bool pass = true;
    for (const OwlMessage& m : messages) {
      if (!alive || !owner_) return false;
      owner_->keyPassed = false;
      owner_->SendMessage(m.message, m.wParam, m.lParam);
      if (!alive || !owner_) return false;
      pass = pass && owner_->keyPassed;
    }
    return pass && alive;
  }

 protected:
  bool event(QEvent* e) override {
    // Tab is typed into the text, like any other key
    if (e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
        keyPressEvent(k);
        return true;
      }
    }
    return QPlainTextEdit::event(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (owner_ && owner_->singleLine) {
      const int key = e->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        if (TWindow* dialog = owner_->Parent()) dialog->SendMessage(WM_COMMAND, key == Qt::Key_Escape ? 2 : 1);
        return;
      }
    }
    if (!Offer(owl_key_press_messages(*e))) return;
    if (owner_ && owner_->textLimit > 0 && !e->text().isEmpty() && e->text().at(0).isPrint() &&
        toPlainText().size() - textCursor().selectedText().size() >= owner_->textLimit)
      return;  // full
    QPlainTextEdit::keyPressEvent(e);
  }
  void focusInEvent(QFocusEvent* e) override {
    QPlainTextEdit::focusInEvent(e);
    if (owner_) owner_->SendMessage(WM_SETFOCUS);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton && owner_) {
      const QPoint p = e->position().toPoint();
      owner_->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, owl_make_long(u16(p.x()), u16(p.y())));
      return;
    }
    QPlainTextEdit::mousePressEvent(e);
  }
};

namespace {

// The system's position of the Qt position `qt` (line ends count two).
int system_pos(const QTextDocument& d, int qt) {
  const QTextBlock b = d.findBlock(qt);
  if (!b.isValid()) return 0;
  return b.blockNumber() + qt;  // each earlier line end counts one more
}

int qt_pos(const QTextDocument& d, int pos) {
  int line_start = 0;
  for (QTextBlock b = d.begin(); b.isValid(); b = b.next()) {
    const int length = b.length() - 1;  // without its line end
    if (pos <= line_start + length || !b.next().isValid()) return b.position() + std::clamp(pos - line_start, 0, length);
    line_start += length + 2;
  }
  return 0;
}

}  // namespace

TEdit::TEdit(TWindow* parent, u32 id, std::string_view text, int x, int y, int w, int h)
    : TWindow(parent), initialText_(text), initialRect_{x, y, x + w, y + h} {
  SetId(id);
}

TEdit::~TEdit() = default;

void TEdit::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  edit_ = new OwlEditQt(this, host);
  qt_->outer = edit_;
  edit_->setGeometry(initialRect_.left, initialRect_.top, initialRect_.Width(), initialRect_.Height());
  if (singleLine) {
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
}

void TEdit::SetupWindow() {
  if (!initialText_.empty()) SetText(initialText_);
  ClearModify();
}

i64 TEdit::DefWindowProc(OwlMessage& msg) {
  switch (msg.message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_CHAR: case WM_SYSCHAR: case WM_KEYUP: case WM_SYSKEYUP:
      keyPassed = true;
      return 0;
    default:
      return TWindow::DefWindowProc(msg);
  }
}

std::string TEdit::GetText() const {
  if (!edit_) return initialText_;
  QString t = edit_->toPlainText();
  t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return owl_cp932(t);
}

void TEdit::SetText(std::string_view cp932) {
  if (!edit_) {
    initialText_ = std::string(cp932);
    return;
  }
  QString t = owl_qstring(cp932);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  edit_->setPlainText(t);
}

bool TEdit::IsModified() const { return edit_ && edit_->document()->isModified(); }
void TEdit::ClearModify() {
  if (edit_) edit_->document()->setModified(false);
}

void TEdit::Clear() {
  if (!edit_) return;
  edit_->selectAll();
  edit_->textCursor().removeSelectedText();
}

void TEdit::Paste() {
  if (edit_) edit_->paste();
}

namespace {

constexpr ResponseEntry kEditTable[] = {
    EvCommand<&TEdit::CmEditUndo>(CM_EDITUNDO),
    EvCommandEnable<&TEdit::CeEditUndo>(CM_EDITUNDO),
    EvCommand<&TEdit::CmEditCut>(CM_EDITCUT),
    EvCommandEnable<&TEdit::CeSelection>(CM_EDITCUT),
    EvCommand<&TEdit::CmEditCopy>(CM_EDITCOPY),
    EvCommandEnable<&TEdit::CeSelection>(CM_EDITCOPY),
    EvCommand<&TEdit::CmEditPaste>(CM_EDITPASTE),
    EvCommandEnable<&TEdit::CeEditPaste>(CM_EDITPASTE),
    EvCommand<&TEdit::CmEditDelete>(CM_EDITDELETE),
    EvCommandEnable<&TEdit::CeSelection>(CM_EDITDELETE),
    EvCommand<&TEdit::CmEditClear>(CM_EDITCLEAR),
};

}  // namespace

const ResponseEntry* TEdit::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kEditTable, message, id)) return e;
  return TWindow::Find(message, id);
}

void TEdit::CmEditUndo() {
  if (edit_) edit_->undo();
}

void TEdit::CmEditCut() {
  if (edit_) edit_->cut();
}

void TEdit::CmEditCopy() {
  if (edit_) edit_->copy();
}

void TEdit::CmEditDelete() {
  if (edit_) edit_->textCursor().removeSelectedText();
}

void TEdit::CeEditUndo(TCommandEnabler& ce) { ce.Enable(edit_ && edit_->document()->isUndoAvailable()); }

void TEdit::CeSelection(TCommandEnabler& ce) { ce.Enable(edit_ && edit_->textCursor().hasSelection()); }

void TEdit::CeEditPaste(TCommandEnabler& ce) { ce.Enable(!owl_clipboard_text().empty()); }

int TEdit::GetNumLines() const { return edit_ ? edit_->document()->blockCount() : 1; }

int TEdit::GetLineFromPos(int pos) const {
  if (!edit_) return 0;
  const QTextDocument& d = *edit_->document();
  return d.findBlock(qt_pos(d, pos)).blockNumber();
}

int TEdit::GetLineIndex(int line) const {
  if (!edit_) return 0;
  const QTextDocument& d = *edit_->document();
  const QTextBlock b = d.findBlockByNumber(std::clamp(line, 0, d.blockCount() - 1));
  return system_pos(d, b.position());
}

int TEdit::GetLineLength(int line) const {
  if (!edit_) return 0;
  const QTextBlock b = edit_->document()->findBlockByNumber(line);
  return b.isValid() ? b.length() - 1 : 0;
}

void TEdit::GetSelection(int& start, int& end) const {
  start = end = 0;
  if (!edit_) return;
  const QTextCursor c = edit_->textCursor();
  start = system_pos(*edit_->document(), c.selectionStart());
  end = system_pos(*edit_->document(), c.selectionEnd());
}

void TEdit::SetSelection(int start, int end) {
  if (!edit_) return;
  QTextCursor c(edit_->document());
  c.setPosition(qt_pos(*edit_->document(), start));
  c.setPosition(qt_pos(*edit_->document(), end), QTextCursor::KeepAnchor);
  edit_->setTextCursor(c);
}

void TEdit::Scroll(int lines) {
  if (!edit_) return;
  QScrollBar* bar = edit_->verticalScrollBar();
  bar->setValue(bar->value() + lines);
}

void TEdit::SetFont(const TFont& font) {
  if (edit_ && font.Qt()) edit_->setFont(font.Qt()->font);
}

void TEdit::SetColours(COLORREF text, COLORREF background) {
  if (!edit_) return;
  QPalette p = edit_->palette();
  p.setColor(QPalette::Text, owl_qcolor(text));
  p.setColor(QPalette::Base, owl_qcolor(background));
  edit_->setPalette(p);
}

void TEdit::Focus() {
  if (edit_) edit_->setFocus(Qt::OtherFocusReason);
}

void TEdit::TakeParentFocus() {
  if (edit_ && Parent() && Parent()->Qt() && Parent()->Qt()->client) Parent()->Qt()->client->setFocusProxy(edit_);
}

bool TEdit::HasEditFocus() const { return edit_ && edit_->hasFocus(); }

bool TEdit::Search(std::string_view cp932, bool down, bool matchCase) {
  if (!edit_ || cp932.empty()) return false;
  QTextDocument::FindFlags flags;
  if (!down) flags |= QTextDocument::FindBackward;
  if (matchCase) flags |= QTextDocument::FindCaseSensitively;
  const QTextCursor from = edit_->textCursor();
  QTextCursor start(edit_->document());
  start.setPosition(down ? from.selectionEnd() : from.selectionStart());
  const QTextCursor found = edit_->document()->find(owl_qstring(cp932), start, flags);
  if (found.isNull()) return false;
  edit_->setTextCursor(found);
  return true;
}

TEditFile::TEditFile(TWindow* parent, u32 id, std::string_view text, int x, int y, int w, int h,
                     std::string_view fileName)
    : TEdit(parent, id, text, x, y, w, h), fileName_(fileName) {}

void TEditFile::SetupWindow() {
  TEdit::SetupWindow();
  if (!fileName_.empty()) Read();
}

bool TEditFile::Read() {
  const int f = host_file_open(fileName_, kFileModeRead);
  if (f == kNoFile) {
    SetText({});
    ClearModify();
    return false;
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    const i32 got = host_file_read(f, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, std::size_t(got));
  }
  host_file_close(f);
  // the text ends at its first NUL byte
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  SetText(text);
  ClearModify();
  return true;
}

bool TEditFile::Save() {
  if (fileName_.empty()) return false;
  if (!IsModified()) return true;
  const std::string text = GetText();
  if (!host_write_file_atomic(fileName_, std::span<const u8>(reinterpret_cast<const u8*>(text.data()), text.size()))) {
    owl_message_box(this, "Cannot write " + fileName_, "Error", kBoxIconExclamation);
    return false;
  }
  ClearModify();
  return true;
}

bool TEditFile::CanClose() {
  if (IsModified()) Save();
  return true;
}

bool TEditFile::FindNext() {
  return Search(searchText, (searchFlags & 1) != 0, (searchFlags & 4) != 0);
}
