// Dialog controls over Qt widgets. The control object holds the state (texts,
// check state, list entries, selection); the widget shows it and reports what
// the user does, which goes through the same calls a test makes.
#include "platform/owl/owl_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>

#include "platform/host/host_file.h"
#include "platform/owl/owl_qt.h"

namespace {

// A list widget that hands its keys to the list box object.
class OwlListWidget : public QListWidget {
 public:
  OwlListWidget(TListBox* owner, QWidget* parent) : QListWidget(parent), owner_(owner) {}
  TListBox* owner_;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const u32 vk = owl_virtual_key(e->key(), e->modifiers());
    if (owner_ && vk) {
      owner_->KeyDown(vk, ctrl);
      e->accept();
      return;
    }
    QListWidget::keyPressEvent(e);
  }
};

// A combo box's edit field cut to the text limit.
int edit_chars(int limit) { return limit > 1 ? limit - 1 : 32767; }

std::string cut(std::string_view text, int limit) {
  const std::size_t chars = std::size_t(edit_chars(limit));
  return std::string(text.substr(0, std::min(text.size(), chars)));
}

}  // namespace

// ---------------------------------------------------------------- TControl

TControl::TControl(TWindow* parent, u32 id, std::string_view text, const TRect& rect)
    : TWindow(parent), text_(text), rect_(rect) {
  SetId(id);
}

void TControl::SetText(std::string_view cp932) { text_ = std::string(cp932); }

std::string TControl::GetText() const { return text_; }

void TControl::EnableWindow(bool enable) {
  enabled_ = enable;
  if (Qt() && Qt()->outer) Qt()->outer->setEnabled(enable);
}

bool TControl::IsWindowEnabled() const { return enabled_; }

void TControl::Place(QWidget* widget) {
  qt_->outer = widget;
  widget->setGeometry(rect_.left, rect_.top, rect_.Width(), rect_.Height());
  widget->setEnabled(enabled_);
}

// ---------------------------------------------------------------- TStatic

void TStatic::SetText(std::string_view cp932) {
  TControl::SetText(cp932);
  if (auto* label = Qt() ? qobject_cast<QLabel*>(Qt()->outer.data()) : nullptr) label->setText(owl_qstring(text_));
}

void TStatic::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* label = new QLabel(owl_qstring(text_), host);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(label);
  // the buddy is made before its label, so its widget exists here
  if (buddy_ && buddy_->Qt() && buddy_->Qt()->outer) label->setBuddy(buddy_->Qt()->outer);
}

// ---------------------------------------------------------------- TButton

TButton::TButton(TWindow* parent, u32 id, std::string_view text, const TRect& rect, bool isDefault)
    : TControl(parent, id, text, rect), default_(isDefault) {}

void TButton::SetText(std::string_view cp932) {
  TControl::SetText(cp932);
  if (auto* b = Qt() ? qobject_cast<QPushButton*>(Qt()->outer.data()) : nullptr) b->setText(owl_qstring(text_));
}

void TButton::Click() {
  if (enabled_ && Parent()) Parent()->SendMessage(WM_COMMAND, GetId());
}

void TButton::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* b = new QPushButton(owl_qstring(text_), host);
  b->setDefault(default_);
  b->setAutoDefault(false);
  QObject::connect(b, &QPushButton::clicked, b, [this] { Click(); });
  Place(b);
}

// ---------------------------------------------------------------- TCheckBox, TRadioButton

void TCheckBox::SetCheck(int state) {
  check_ = state ? BF_CHECKED : BF_UNCHECKED;
  if (auto* b = Qt() ? qobject_cast<QAbstractButton*>(Qt()->outer.data()) : nullptr) {
    const QSignalBlocker quiet(b);
    b->setChecked(check_ == BF_CHECKED);
  }
}

void TCheckBox::Click() {
  if (!enabled_) return;
  SetCheck(check_ == BF_CHECKED ? BF_UNCHECKED : BF_CHECKED);
  if (Parent()) Parent()->SendMessage(WM_COMMAND, GetId());
}

void TCheckBox::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  Wire(new QCheckBox(owl_qstring(text_), host));
}

void TCheckBox::Wire(QAbstractButton* b) {
  b->setChecked(check_ == BF_CHECKED);
  // the object decides the state; the widget only reports the click
  QObject::connect(b, &QAbstractButton::clicked, b, [this, b] {
    {
      const QSignalBlocker quiet(b);
      b->setChecked(check_ == BF_CHECKED);
    }
    Click();
  });
  Place(b);
}

void TRadioButton::Click() {
  if (!enabled_) return;
  SetCheck(BF_CHECKED);
  if (Parent()) Parent()->SendMessage(WM_COMMAND, GetId());
}

void TRadioButton::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* b = new QRadioButton(owl_qstring(text_), host);
  b->setAutoExclusive(false);  // the dialog keeps its groups
  Wire(b);
}

void TGroupBox::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* g = new QGroupBox(owl_qstring(text_), host);
  Place(g);
  g->lower();  // under the controls it frames
}

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(TWindow* parent, u32 id, const TRect& rect, int textLimit)
    : TControl(parent, id, {}, rect), limit_(textLimit) {}

void TComboBox::SetText(std::string_view cp932) {
  text_ = cut(cp932, limit_);
  if (auto* c = Qt() ? qobject_cast<QComboBox*>(Qt()->outer.data()) : nullptr) {
    const QSignalBlocker quiet(c);
    c->setEditText(owl_qstring(text_));
  }
}

std::string TComboBox::GetText() const {
  if (auto* c = Qt() ? qobject_cast<QComboBox*>(Qt()->outer.data()) : nullptr) return cut(owl_cp932(c->currentText()), limit_);
  return text_;
}

std::string TComboBox::GetString(int index) const {
  return index >= 0 && index < GetCount() ? items_[std::size_t(index)] : std::string();
}

void TComboBox::AddString(std::string_view cp932) { InsertString(cp932, GetCount()); }

void TComboBox::InsertString(std::string_view cp932, int index) {
  index = std::clamp(index, 0, GetCount());
  items_.insert(items_.begin() + index, std::string(cp932));
  Refill();
}

void TComboBox::DeleteString(int index) {
  if (index < 0 || index >= GetCount()) return;
  items_.erase(items_.begin() + index);
  Refill();
}

void TComboBox::ClearList() {
  items_.clear();
  Refill();
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  Refill();
}

void TComboBox::Enter() {
  if (Parent()) Parent()->SendMessage(WM_COMMAND, 1);
}

void TComboBox::Refill() {
  auto* c = Qt() ? qobject_cast<QComboBox*>(Qt()->outer.data()) : nullptr;
  if (!c) return;
  const QSignalBlocker quiet(c);
  const QString edit = c->currentText();
  c->clear();
  for (const std::string& s : items_) c->addItem(owl_qstring(s));
  c->setEditText(edit);
}

void TComboBox::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* c = new QComboBox(host);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);  // the dialog keeps the history
  c->lineEdit()->setMaxLength(edit_chars(limit_));
  for (const std::string& s : items_) c->addItem(owl_qstring(s));
  c->setEditText(owl_qstring(text_));
  QObject::connect(c->lineEdit(), &QLineEdit::returnPressed, c, [this] { Enter(); });
  Place(c);
}

// ---------------------------------------------------------------- TListBox

TListBox::TListBox(TWindow* parent, u32 id, const TRect& rect) : TControl(parent, id, {}, rect) {}

std::string TListBox::GetString(int index) const {
  return index >= 0 && index < GetCount() ? items_[std::size_t(index)].text : std::string();
}

int TListBox::AddString(std::string_view cp932, i64 data) {
  InsertString(cp932, GetCount(), data);
  return GetCount() - 1;
}

void TListBox::InsertString(std::string_view cp932, int index, i64 data) {
  index = std::clamp(index, 0, GetCount());
  items_.insert(items_.begin() + index, Item{std::string(cp932), data});
  if (selected_ >= index) ++selected_;
  Refill();
}

void TListBox::DeleteString(int index) {
  if (index < 0 || index >= GetCount()) return;
  items_.erase(items_.begin() + index);
  if (selected_ == index) selected_ = -1;
  else if (selected_ > index) --selected_;
  Refill();
}

void TListBox::ClearList() {
  items_.clear();
  selected_ = -1;
  Refill();
}

i64 TListBox::GetItemData(int index) const {
  return index >= 0 && index < GetCount() ? items_[std::size_t(index)].data : 0;
}

void TListBox::SetSelIndex(int index) {
  selected_ = index >= 0 && index < GetCount() ? index : -1;
  if (auto* l = Qt() ? qobject_cast<QListWidget*>(Qt()->outer.data()) : nullptr) {
    const QSignalBlocker quiet(l);
    l->setCurrentRow(selected_);
  }
}

int TListBox::PageRows() const {
  auto* l = Qt() ? qobject_cast<QListWidget*>(Qt()->outer.data()) : nullptr;
  if (!l || l->count() == 0) return std::max(1, rect_.Height() / 16);
  const int row = std::max(1, l->sizeHintForRow(0));
  return std::max(1, l->viewport()->height() / row);
}

void TListBox::KeyDown(u32 vk, bool ctrl) {
  vk = TranslateKey(vk, ctrl);
  if (vk == 0 || items_.empty()) return;
  int to = selected_;
  switch (vk) {
    case VK_UP: to = selected_ - 1; break;
    case VK_DOWN: to = selected_ + 1; break;
    case VK_PRIOR: to = selected_ - PageRows(); break;
    case VK_NEXT: to = selected_ + PageRows(); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = GetCount() - 1; break;
    case VK_RETURN:
      DoubleClick();
      return;
    default: return;
  }
  SetSelIndex(std::clamp(to, 0, GetCount() - 1));
  if (Parent()) Parent()->SendMessage(WM_COMMAND, GetId());
}

void TListBox::DoubleClick() {
  if (doubleClickCommand && Parent() && selected_ >= 0) Parent()->SendMessage(WM_COMMAND, doubleClickCommand);
}

void TListBox::Refill() {
  auto* l = Qt() ? qobject_cast<QListWidget*>(Qt()->outer.data()) : nullptr;
  if (!l) return;
  const QSignalBlocker quiet(l);
  l->clear();
  for (const Item& i : items_) l->addItem(owl_qstring(i.text));
  l->setCurrentRow(selected_);
}

void TListBox::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* l = new OwlListWidget(this, host);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(l, &QListWidget::currentRowChanged, l, [this](int row) {
    selected_ = row;
    if (Parent()) Parent()->SendMessage(WM_COMMAND, GetId());
  });
  QObject::connect(l, &QListWidget::itemDoubleClicked, l, [this](QListWidgetItem*) { DoubleClick(); });
  Place(l);
  Refill();
}

TSize owl_screen_size() {
  if (const QScreen* s = QGuiApplication::primaryScreen()) return TSize{s->size().width(), s->size().height()};
  return TSize{1024, 768};
}

void owl_enable_window(TWindow& window, bool enable) {
  if (auto* control = dynamic_cast<TControl*>(&window)) {
    control->EnableWindow(enable);
    return;
  }
  if (window.Qt() && window.Qt()->outer) window.Qt()->outer->setEnabled(enable);
}

bool owl_is_window_enabled(const TWindow& window) {
  if (auto* control = dynamic_cast<const TControl*>(&window)) return control->IsWindowEnabled();
  return !window.Qt() || !window.Qt()->outer || window.Qt()->outer->isEnabled();
}

// ---------------------------------------------------------------- TFileOpenDialog

TFileOpenDialog::TFileOpenDialog(TWindow* parent, TOpenSaveData& data, std::string_view title)
    : parent_(parent), data_(data), title_(title) {}

TFileOpenDialog::~TFileOpenDialog() = default;

int TFileOpenDialog::Execute() {
  QWidget* owner = parent_ && parent_->Qt() ? parent_->Qt()->outer.data() : nullptr;
  QFileDialog dialog(owner, owl_qstring(title_));
  dialog.setOption(QFileDialog::DontUseNativeDialog);  // a widget the program can place
  dialog.setFileMode(data_.flags & OFN_FILEMUSTEXIST ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  // "text|pattern|" pairs as the system's filter gives them
  QStringList filters;
  const QStringList parts = owl_qstring(data_.filter).split(QLatin1Char('|'));
  for (int i = 0; i + 1 < parts.size(); i += 2)
    if (!parts[i].isEmpty()) filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!data_.initialDir.empty()) dialog.setDirectory(QString::fromStdString(host_map_path(data_.initialDir)));
  else dialog.setDirectory(QDir::currentPath());
  dialog.adjustSize();
  dialog_ = &dialog;
  TFileOpenDialog* outer = Running;
  Running = this;
  EvInitDialog();
  const int answer = dialog.exec();
  Running = outer;
  dialog_ = nullptr;
  if (answer != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 2;
  data_.fileName = host_system_path(dialog.selectedFiles().front().toStdString());
  return 1;
}

void TFileOpenDialog::Choose(std::string_view host_path) {
  if (!dialog_) return;
  dialog_->selectFile(QString::fromStdString(std::string(host_path)));
  QMetaObject::invokeMethod(dialog_, "accept", Qt::DirectConnection);
}

void TFileOpenDialog::Cancel() {
  if (dialog_) dialog_->reject();
}

TRect TFileOpenDialog::GetWindowRect() const {
  if (!dialog_) return {};
  const QRect r = dialog_->frameGeometry();
  return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void TFileOpenDialog::MoveWindow(const TRect& rect) {
  if (dialog_) dialog_->move(rect.left, rect.top);
}
