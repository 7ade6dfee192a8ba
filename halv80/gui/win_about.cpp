// QNVer and the About dialog.
#include "halv80/gui/win_about.h"

#include <algorithm>
#include <cstdio>

#include "halv80/engine/sup_host.h"
#include "halv80/version.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_dc.h"

namespace {

constexpr u32 kCmOk = 1;
constexpr std::size_t kTextLimit = 255;
constexpr COLORREF kFace = 0xE0E0E0;
constexpr int kLineHeight = 20;

// The program's own version resource: Japanese (0x0411), code page 932.
constexpr u32 kProgramTranslation = (932u << 16) | 0x0411;

std::map<std::string, std::unique_ptr<VersionResource>>& Resources() {
  static std::map<std::string, std::unique_ptr<VersionResource>> r;
  return r;
}

std::string key_of(std::string_view module) {
  std::string k(module);
  std::transform(k.begin(), k.end(), k.begin(), [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
  return k;
}

std::string query_path(u32 translation, std::string_view name) {
  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%08lx\\", static_cast<unsigned long>(translation));
  return path + std::string(name);
}

const VersionResource* find_resource(std::string_view module) {
  auto& r = Resources();
  const std::string k = key_of(module);
  if (k == kProgramModule && !r.count(k)) {
    auto own = std::make_unique<VersionResource>();
    own->translation = kProgramTranslation;
    const u32 t = (kProgramTranslation & 0xFFFF) << 16 | kProgramTranslation >> 16;
    own->values[query_path(t, "ProductName")] = host_utf8_to_cp932(kProductName);
    own->values[query_path(t, "ProductVersion")] = host_utf8_to_cp932(kProductVersion);
    own->values[query_path(t, "LegalCopyright")] = host_utf8_to_cp932(kLegalCopyright);
    r[k] = std::move(own);
  }
  const auto it = r.find(k);
  return it == r.end() ? nullptr : it->second.get();
}

constexpr ResponseEntry kAboutTable[] = {
    EvMessage<WM_KEYDOWN, &TAboutDlg::EvKeyDown>(),
    EvMessage<WM_LBUTTONUP, &TAboutDlg::EvLButtonUp>(),
    EvCommand<&TAboutDlg::CmOk>(kCmOk),
};

}  // namespace

void win_set_version_resource(std::string_view module, std::unique_ptr<VersionResource> resource) {
  if (resource) Resources()[key_of(module)] = std::move(resource);
  else Resources().erase(key_of(module));
}

std::string win_library_version_text(int word) {
  char text[32];
  std::snprintf(text, sizeof text, "RZ7BIOS.DLL ver %d.%d", (word >> 4) & 0x0F, word & 0x0F);
  return text;
}

QNVer::QNVer(std::string_view module) {
  const VersionResource* found = find_resource(module);
  if (!found || !found->hasTranslation) return;  // no block
  block = std::make_unique<VersionResource>(*found);
  // the resource keeps the language first: language to the upper half
  translation = (block->translation & 0xFFFF) << 16 | block->translation >> 16;
}

int QNVer::Get(std::string_view name, const char*& text) const {
  if (!block) return 0;
  const auto it = block->values.find(query_path(translation, name));
  if (it == block->values.end()) return 0;
  text = it->second.c_str();
  return 1;
}

TAboutDlg::TAboutDlg(TWindow* parent, u32) : TDialog(parent, host_utf8_to_cp932("QUENDARについて")) {
  texts_[kAboutProductName] = host_utf8_to_cp932("プロダクト名");
  texts_[kAboutCopyright] = host_utf8_to_cp932("コピーライト");
  texts_[kAboutVersion] = host_utf8_to_cp932("バージョン");
  texts_[kAboutLibrary] = host_utf8_to_cp932("DLLバージョン");
  texts_[kAboutDriver] = host_utf8_to_cp932("NT_DRIVERバージョン");
}

TAboutDlg::~TAboutDlg() = default;

const ResponseEntry* TAboutDlg::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kAboutTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void TAboutDlg::SetupWindow() {
  TDialog::SetupWindow();
  const auto set = [this](u32 id, std::string_view text) { texts_[id] = std::string(text.substr(0, kTextLimit)); };
  {
    const QNVer program(kProgramModule);
    const char* text = nullptr;
    if (program.GetProductName(text)) set(kAboutProductName, text);
    if (program.GetProductVersion(text)) set(kAboutVersion, text);
    if (program.GetLegalCopyright(text)) set(kAboutCopyright, text);
  }
  set(kAboutLibrary, win_library_version_text(SupHost.LibraryVersion));
  // the driver's file; one without version information keeps the template text
  const QNVer driver(kDriverModule);
  const char* text = nullptr;
  if (driver.GetProductVersion(text)) set(kAboutDriver, std::string("RZ7IF.SYS Ver ") + text);
  // centred on the main window, about as large as its 160 x 110 dialog units
  constexpr int kWidth = 360, kHeight = 240;
  const TRect f = Parent() ? Parent()->GetWindowRect() : TRect{0, 0, kWidth, kHeight};
  const int x = std::max(0, f.left + (f.Width() - kWidth) / 2);
  const int y = std::max(0, f.top + (f.Height() - kHeight) / 2);
  MoveWindow(TRect{x, y, x + kWidth, y + kHeight}, false);
  SetFocus();  // keys go to the dialog's own handler: Enter is the default button
}

std::string TAboutDlg::ControlText(u32 id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void TAboutDlg::Paint(TDC& dc, bool, TRect&) {
  const TRect client = GetClientRect();
  dc.FillRect(client, kFace);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(0x000000);
  int y = 60;
  for (u32 id : {kAboutProductName, kAboutCopyright, kAboutVersion, kAboutLibrary, kAboutDriver}) {
    const std::string& t = texts_[id];
    const int x = std::max(0, (client.right - int(t.size()) * 7) / 2);
    dc.TextOut(x, y, t);
    y += kLineHeight;
  }
  // the default button "了解"
  const TRect button{client.right / 2 - 45, y + 8, client.right / 2 + 45, y + 36};
  dc.FillRect(button, 0xC0C0C0);
  dc.TextOut(button.left + 30, button.top + 6, host_utf8_to_cp932("了解"));
}

void TAboutDlg::EvKeyDown(u32 key, u32, u32) {
  if (key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE) CmOk();
}

void TAboutDlg::EvLButtonUp(u32, const TPoint&) { CmOk(); }

void TAboutDlg::CmOk() { CloseWindow(kCmOk); }
