// Forms and controls over Qt Widgets. A form is a QDialog with its controls
// placed by SetBounds; a modal show runs its own event loop until a modal
// result is set. Qt's user-only signals (textEdited, activated, clicked)
// carry the events, so the setters stay silent.
#include "platform/vcl/vcl_forms.h"

#include <QApplication>
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
