// Forms and controls over Qt Widgets. A form is a QDialog with its controls
// placed by SetBounds; a modal show runs its own event loop until a modal
// result is set. Qt's user-only signals (textEdited, activated, clicked)
// carry the events, so the setters stay silent.
#include "platform/vcl/vcl_forms.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_qt.h"
#include "platform/vcl/vcl_qt.h"

QString vcl_qstring(std::string_view cp932) { return owl_qstring(cp932); }
std::string vcl_cp932(const QString& text) { return owl_cp932(text); }

namespace vcl {

namespace {

TForm::ModalHook& modal_hook() {
  static TForm::ModalHook hook;
  return hook;
}

void raise(const TNotifyEvent& event) {
  if (event) event();
}

TOpenDialog::Hook& open_hook() {
  static TOpenDialog::Hook hook;
  return hook;
}

int& wait_cursors() {
  static int count = 0;
  return count;
}

QStyle::StandardPixmap symbol_pixmap(TGlyph::Symbol symbol) {
  switch (symbol) {
    case TGlyph::Symbol::New: return QStyle::SP_FileIcon;
    case TGlyph::Symbol::Open: return QStyle::SP_DialogOpenButton;
    case TGlyph::Symbol::Edit: return QStyle::SP_FileDialogDetailedView;
    case TGlyph::Symbol::Monitor: return QStyle::SP_ComputerIcon;
    case TGlyph::Symbol::Build: return QStyle::SP_BrowserReload;
    case TGlyph::Symbol::Options: return QStyle::SP_FileDialogListView;
    case TGlyph::Symbol::Entry: return QStyle::SP_DirLinkIcon;
    case TGlyph::Symbol::Run: return QStyle::SP_MediaPlay;
    case TGlyph::Symbol::Quit: return QStyle::SP_DialogCloseButton;
    case TGlyph::Symbol::Help: return QStyle::SP_DialogHelpButton;
    case TGlyph::Symbol::None: break;
  }
  return QStyle::SP_CustomBase;
}

// A glyph drawn for a button of `size`: the symbol at the top, the text under it.
QPixmap glyph_pixmap(const TGlyph& glyph, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  constexpr int kSymbolSize = 16;
  if (glyph.symbol != TGlyph::Symbol::None) {
    const QIcon icon = QApplication::style()->standardIcon(symbol_pixmap(glyph.symbol));
    painter.drawPixmap((size.width() - kSymbolSize) / 2, 1, icon.pixmap(kSymbolSize, kSymbolSize));
  }
  QFont font = painter.font();
  font.setPixelSize(10);
  painter.setFont(font);
  painter.drawText(QRect(0, kSymbolSize + 1, size.width(), size.height() - kSymbolSize - 1), Qt::AlignHCenter | Qt::AlignTop,
                   vcl_qstring(glyph.text));
  return pixmap;
}

// One filter pattern ("*.QPJ") that matches without regard to case ("*.[qQ][pP][jJ]").
QString any_case(std::string_view pattern) {
  QString out;
  for (const QChar c : vcl_qstring(pattern)) {
    if (c.isLetter() && c.toLower() != c.toUpper())
      out += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
    else
      out += c;
  }
  return out;
}

// The system's filter text ("Text|*.A;*.B|Text|*.*") as Qt's name filters.
QStringList name_filters(std::string_view filter) {
  QStringList out;
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    std::string_view list = parts[i + 1];
    for (std::size_t start = 0;;) {
      const std::size_t semi = list.find(';', start);
      const std::string_view one = list.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
      if (!one.empty()) patterns << (one == "*.*" ? QString("*") : any_case(one));
      if (semi == std::string_view::npos) break;
      start = semi + 1;
    }
    out << vcl_qstring(parts[i]) + " (" + patterns.join(' ') + ")";
  }
  return out;
}


}  // namespace

// The window of a form: its close box and Esc go to the form.
class TFormDialog : public QDialog {
 public:
  explicit TFormDialog(TForm* form) : form_(form) {}
  QEventLoop* loop = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    form_->CloseRequested();
  }
  void reject() override { form_->CloseRequested(); }

 private:
  TForm* form_;
};

void TControl::SetBounds(int left, int top, int width, int height) { widget_->setGeometry(left, top, width, height); }
void TControl::SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
bool TControl::Enabled() const { return widget_->isEnabled(); }
void TControl::SetVisible(bool visible) { widget_->setVisible(visible); }
bool TControl::Visible() const { return !widget_->isHidden(); }

TLabel::TLabel(TForm* owner) : TControl(new QLabel(owner->Client())) {}
void TLabel::SetCaption(std::string_view text) { static_cast<QLabel*>(widget_)->setText(vcl_qstring(text)); }
std::string TLabel::Caption() const { return vcl_cp932(static_cast<QLabel*>(widget_)->text()); }
void TLabel::SetFocusControl(TControl* control) { static_cast<QLabel*>(widget_)->setBuddy(control->Widget()); }

TEdit::TEdit(TForm* owner) : TControl(new QLineEdit(owner->Client())) {
  edit_ = static_cast<QLineEdit*>(widget_);
  QObject::connect(edit_, &QLineEdit::textEdited, [this] { raise(OnChange); });
}
void TEdit::SetText(std::string_view text) { edit_->setText(vcl_qstring(text)); }
std::string TEdit::Text() const { return vcl_cp932(edit_->text()); }
void TEdit::SetReadOnly(bool read_only) { edit_->setReadOnly(read_only); }
bool TEdit::ReadOnly() const { return edit_->isReadOnly(); }
void TEdit::SetGrayed(bool grayed) {
  QPalette palette = edit_->palette();
  const QPalette normal = QApplication::palette(edit_);
  palette.setColor(QPalette::Text, grayed ? normal.color(QPalette::Inactive, QPalette::PlaceholderText)
                                          : normal.color(QPalette::Active, QPalette::Text));
  edit_->setPalette(palette);
}
void TEdit::UserText(std::string_view text) {
  SetText(text);
  raise(OnChange);
}

TComboBox::TComboBox(TForm* owner) : TControl(new QComboBox(owner->Client())) {
  combo_ = static_cast<QComboBox*>(widget_);
  combo_->setEditable(false);
  QObject::connect(combo_, &QComboBox::activated, [this] { raise(OnChange); });
}
void TComboBox::SetItems(const std::vector<std::string>& items) {
  combo_->clear();
  for (const std::string& item : items) combo_->addItem(vcl_qstring(item));
}
int TComboBox::ItemCount() const { return combo_->count(); }
std::string TComboBox::Item(int index) const { return vcl_cp932(combo_->itemText(index)); }
int TComboBox::ItemIndex() const { return combo_->currentIndex(); }
void TComboBox::SetItemIndex(int index) { combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1); }
void TComboBox::UserSelect(int index) {
  SetItemIndex(index);
  raise(OnChange);
}

TCheckBox::TCheckBox(TForm* owner) : TControl(new QCheckBox(owner->Client())) {
  box_ = static_cast<QCheckBox*>(widget_);
  QObject::connect(box_, &QCheckBox::clicked, [this] { raise(OnClick); });
}
void TCheckBox::SetCaption(std::string_view text) { box_->setText(vcl_qstring(text)); }
std::string TCheckBox::Caption() const { return vcl_cp932(box_->text()); }
bool TCheckBox::Checked() const { return box_->isChecked(); }
void TCheckBox::SetChecked(bool checked) { box_->setChecked(checked); }
void TCheckBox::UserClick() {
  if (!box_->isEnabled()) return;
  box_->setChecked(!box_->isChecked());
  raise(OnClick);
}

TRadioGroup::TRadioGroup(TForm* owner) : TControl(new QGroupBox(owner->Client())) {
  group_ = static_cast<QGroupBox*>(widget_);
  new QVBoxLayout(group_);
}
void TRadioGroup::SetCaption(std::string_view text) { group_->setTitle(vcl_qstring(text)); }
void TRadioGroup::SetItems(const std::vector<std::string>& items) {
  for (QRadioButton* b : buttons_) delete b;
  buttons_.clear();
  for (const std::string& item : items) {
    auto* b = new QRadioButton(vcl_qstring(item), group_);
    group_->layout()->addWidget(b);
    QObject::connect(b, &QRadioButton::clicked, [this] { raise(OnClick); });
    buttons_.push_back(b);
  }
}
int TRadioGroup::ItemIndex() const {
  for (std::size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return int(i);
  return -1;
}
void TRadioGroup::SetItemIndex(int index) {
  // Radio buttons of one parent exclude each other; unchecking all needs the
  // exclusion off for a moment.
  for (QRadioButton* b : buttons_) b->setAutoExclusive(false);
  for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setChecked(int(i) == index);
  for (QRadioButton* b : buttons_) b->setAutoExclusive(true);
}
void TRadioGroup::UserSelect(int index) {
  SetItemIndex(index);
  raise(OnClick);
}

TButton::TButton(TForm* owner) : TControl(new QPushButton(owner->Client())), owner_(owner) {
  button_ = static_cast<QPushButton*>(widget_);
  button_->setAutoDefault(false);
  QObject::connect(button_, &QPushButton::clicked, [this] { UserClick(); });
}
void TButton::SetCaption(std::string_view text) { button_->setText(vcl_qstring(text)); }
std::string TButton::Caption() const { return vcl_cp932(button_->text()); }
void TButton::SetDefault(bool is_default) { button_->setDefault(is_default); }
void TButton::UserClick() {
  if (!button_->isEnabled()) return;
  raise(OnClick);
  if (modal_result_ != mrNone) owner_->SetModalResult(modal_result_);
}

void TButton::SetGlyph(const TGlyph& glyph) {
  glyph_ = glyph;
  const QSize size = button_->size() - QSize(6, 6);
  const QPixmap pixmap = glyph_pixmap(glyph, size.isValid() ? size : QSize(48, 32));
  button_->setIcon(QIcon(pixmap));
  button_->setIconSize(pixmap.size());
}
void TButton::SetTabStop(bool tab_stop) { button_->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::NoFocus); }

TStatusBar::TStatusBar(TForm* owner) : TControl(new QStatusBar(owner->Client())) {
  bar_ = static_cast<QStatusBar*>(widget_);
  bar_->setSizeGripEnabled(false);
}
void TStatusBar::SetSimpleText(std::string_view text) {
  text_ = text;
  bar_->showMessage(vcl_qstring(text));
}
std::string TStatusBar::SimpleText() const { return text_; }

TMemo::TMemo(TForm* owner) : TControl(new QPlainTextEdit(owner->Client())) {
  edit_ = static_cast<QPlainTextEdit*>(widget_);
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}
void TMemo::SetText(std::string_view text) {
  text_ = text;
  QString shown = vcl_qstring(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  edit_->setPlainText(shown);
}
void TMemo::Append(std::string_view text) { SetText(text_ + std::string(text)); }
void TMemo::SetReadOnly(bool read_only) { edit_->setReadOnly(read_only); }

TListBox::TListBox(TForm* owner) : TControl(new QListWidget(owner->Client())) {
  list_ = static_cast<QListWidget*>(widget_);
  QObject::connect(list_, &QListWidget::itemClicked, [this] { raise(OnClick); });
}
void TListBox::SetItems(const std::vector<std::string>& items) {
  list_->clear();
  for (const std::string& item : items) list_->addItem(vcl_qstring(item));
}
int TListBox::ItemCount() const { return list_->count(); }
std::string TListBox::Item(int index) const {
  const QListWidgetItem* item = list_->item(index);
  return item ? vcl_cp932(item->text()) : std::string();
}
int TListBox::ItemIndex() const { return list_->currentRow(); }
void TListBox::SetItemIndex(int index) { list_->setCurrentRow(index >= 0 && index < list_->count() ? index : -1); }
void TListBox::UserSelect(int index) {
  SetItemIndex(index);
  raise(OnClick);
}

TMenuItem::TMenuItem(QAction* action, QMenu* menu) : action_(action), menu_(menu) {
  if (!menu_) QObject::connect(action_, &QAction::triggered, [this] { raise(OnClick); });
}
TMenuItem::~TMenuItem() = default;
void TMenuItem::SetCaption(std::string_view text) { action_->setText(vcl_qstring(text)); }
std::string TMenuItem::Caption() const { return vcl_cp932(action_->text()); }
void TMenuItem::SetEnabled(bool enabled) { action_->setEnabled(enabled); }
bool TMenuItem::Enabled() const { return action_->isEnabled(); }
TMenuItem* TMenuItem::Add() {
  if (!menu_) return nullptr;
  QAction* action = menu_->addAction(QString());
  items_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(action, nullptr)));
  return items_.back().get();
}
void TMenuItem::UserClick() {
  if (!action_->isEnabled()) return;
  raise(OnClick);
}

TMainMenu::TMainMenu(TForm* owner) : TControl(new QMenuBar(owner->Client())) {
  bar_ = static_cast<QMenuBar*>(widget_);
  bar_->setNativeMenuBar(false);
}
TMainMenu::~TMainMenu() = default;
TMenuItem* TMainMenu::AddMenu() {
  QMenu* menu = bar_->addMenu(QString());
  menus_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(menu->menuAction(), menu)));
  return menus_.back().get();
}
int TMainMenu::Height() const { return bar_->sizeHint().height(); }

void TOpenDialog::SetHook(Hook hook) { open_hook() = std::move(hook); }

bool TOpenDialog::Execute() {
  std::string chosen;
  if (open_hook()) {
    if (!open_hook()(*this, chosen)) return false;
    FileName = chosen;
    return true;
  }
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(name_filters(Filter));
  if (!InitialDir.empty()) dialog.setDirectory(QString::fromStdString(host_map_path(InitialDir)));
  if (!FileName.empty() && FileName.find_first_of("*?") == std::string::npos) dialog.selectFile(vcl_qstring(FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  FileName = host_system_path(dialog.selectedFiles().front().toStdString());
  return true;
}

TWaitCursor::TWaitCursor() {
  if (wait_cursors()++ == 0 && qApp) QApplication::setOverrideCursor(Qt::WaitCursor);
}
TWaitCursor::~TWaitCursor() {
  if (--wait_cursors() == 0 && qApp) QApplication::restoreOverrideCursor();
}
bool TWaitCursor::Active() { return wait_cursors() > 0; }

TTimer::TTimer(TForm* owner) : TControl(new QWidget(owner->Client())), timer_(std::make_unique<QTimer>()) {
  widget_->hide();  // a timer has nothing to show
  QObject::connect(timer_.get(), &QTimer::timeout, [this] {
    if (enabled_) raise(OnTimer);
  });
}
TTimer::~TTimer() = default;
void TTimer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  timer_->setInterval(milliseconds);
}
void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled) {
    timer_->start(interval_);
  } else {
    timer_->stop();
  }
}

TForm::TForm() : dialog_(std::make_unique<TFormDialog>(this)) {}
TForm::~TForm() {
  controls_.clear();
  dialog_.reset();
}

void TForm::SetCaption(std::string_view text) { dialog_->setWindowTitle(vcl_qstring(text)); }
std::string TForm::Caption() const { return vcl_cp932(dialog_->windowTitle()); }
void TForm::SetClientSize(int width, int height) { dialog_->setFixedSize(width, height); }
QWidget* TForm::Widget() const { return dialog_.get(); }
QWidget* TForm::Client() const { return dialog_.get(); }
bool TForm::Showing() const { return dialog_->isVisible(); }

void TForm::SetModalHook(ModalHook hook) { modal_hook() = std::move(hook); }

int TForm::ShowModal() {
  auto* dialog = static_cast<TFormDialog*>(dialog_.get());
  modal_ = true;
  modal_result_ = mrNone;
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->show();
  raise(OnShow);
  raise(OnActivate);
  if (modal_hook()) {
    modal_hook()(*this);
  } else if (modal_result_ == mrNone) {
    QEventLoop loop;
    dialog->loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    dialog->loop = nullptr;
  }
  modal_ = false;
  dialog->hide();
  return modal_result_;
}

void TForm::Show() {
  dialog_->setWindowModality(Qt::NonModal);
  dialog_->show();
  raise(OnShow);
  raise(OnActivate);
}

void TForm::SetModalResult(int result) {
  modal_result_ = result;
  if (!modal_) return;
  auto* dialog = static_cast<TFormDialog*>(dialog_.get());
  if (dialog->loop) dialog->loop->quit();
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  if (closing_) return;
  closing_ = true;
  raise(OnClose);
  dialog_->hide();
  closing_ = false;
}

void TForm::CloseRequested() {
  if (modal_) {
    // The close box and Esc act as the cancel button when the form has one.
    for (const auto& c : controls_)
      if (auto* b = dynamic_cast<TButton*>(c.get()); b && b->Cancel()) {
        b->UserClick();
        if (modal_result_ != mrNone) return;
      }
  }
  Close();
}

}  // namespace vcl
