// Version information and the About dialog. QNVer reads the string values of
// a module's version resource (product name, product version, legal
// copyright) under the language and code page of its first translation
// entry; TAboutDlg shows the program's three values, the emulator interface
// library's version and the interface driver's.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/owl/owl_window.h"

// A module's version resource: the first translation entry as the resource
// stores it (language in the low 16 bits, code page in the high 16 bits) and
// the string values by their query path ("\StringFileInfo\040904e4\ProductName").
struct VersionResource {
  u32 translation = 0;
  bool hasTranslation = true;
  std::map<std::string, std::string> values;  // CP932
};

// The module name of the program itself.
constexpr std::string_view kProgramModule = "WQQN80.EXE";
// The interface driver's file below the system folder.
constexpr std::string_view kDriverModule = "\\Drivers\\RZ7IF.SYS";

// Sets or (with none) removes the version resource of `module`. The program's
// own resource is made from its version texts the first time it is asked for.
void win_set_version_resource(std::string_view module, std::unique_ptr<VersionResource> resource);

class QNVer {
 public:
  explicit QNVer(std::string_view module);
  // Nonzero with `text` pointing at the value (valid while this object
  // lives), or 0 when there is no block or no such value.
  int GetProductName(const char*& text) const { return Get("ProductName", text); }
  int GetProductVersion(const char*& text) const { return Get("ProductVersion", text); }
  int GetLegalCopyright(const char*& text) const { return Get("LegalCopyright", text); }

  // The first translation entry, language in the upper 16 bits.
  u32 translation = 0;
  std::unique_ptr<VersionResource> block;  // none: no version information

 private:
  int Get(std::string_view name, const char*& text) const;
};

// Static texts of the dialog by control id.
constexpr u32 kAboutProductName = 100;
constexpr u32 kAboutVersion = 101;
constexpr u32 kAboutCopyright = 102;
constexpr u32 kAboutLibrary = 103;
constexpr u32 kAboutDriver = 104;

class TAboutDlg : public TDialog {
 public:
  TAboutDlg(TWindow* parent, u32 resourceId);
  ~TAboutDlg() override;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void SetupWindow() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;
  void EvKeyDown(u32 key, u32 repeat, u32 flags);
  void EvLButtonUp(u32 modifiers, const TPoint& point);
  void CmOk();
  // The text of static control `id` (CP932).
  std::string ControlText(u32 id) const;

 private:
  std::map<u32, std::string> texts_;
};

// The library line: "RZ7BIOS.DLL ver %d.%d" of bits 4-7 and 0-3 of `word`.
std::string win_library_version_text(int word);
