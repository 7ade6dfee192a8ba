// Drawing: fonts as the system describes them, and the drawing context that
// paints into a window's backing image. Texts are CP932; they become Unicode
// only here, where glyphs are drawn.
#pragma once

#include <memory>
#include <string_view>

#include "platform/owl/owl_defs.h"

class TWindow;
struct OwlFontQt;
struct OwlDcQt;

constexpr u8 FIXED_PITCH = 1;
constexpr i32 FW_NORMAL = 400;
constexpr i32 FW_BOLD = 700;

// The face the layer takes for an empty or unknown face name: fixed pitch,
// with the Japanese glyphs.
constexpr const char* kOwlFixedFace = "IPAGothic";

struct TLogFont {
  i32 height = 0;   // < 0: character height in pixels; > 0: cell height; 0: default
  i32 width = 0;    // 0: the face's own
  i32 weight = FW_NORMAL;
  u8 italic = 0;
  u8 outPrecision = 0;
  u8 clipPrecision = 0;
  u8 quality = 0;
  u8 pitchAndFamily = 0;
  u8 charSet = 0;
  char faceName[32]{};  // CP932, with its terminator
};

struct TTextMetrics {
  i32 tmHeight = 0;
  i32 tmAscent = 0;
  i32 tmDescent = 0;
  i32 tmAveCharWidth = 0;
  i32 tmMaxCharWidth = 0;
};

class TFont {
 public:
  explicit TFont(const TLogFont& lf);
  ~TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  // Measured once, as on the display.
  const TTextMetrics& Metrics() const { return metrics_; }
  const TLogFont& LogFont() const { return lf_; }
  OwlFontQt* Qt() const { return qt_.get(); }

 private:
  TLogFont lf_;
  TTextMetrics metrics_;
  std::unique_ptr<OwlFontQt> qt_;
};

constexpr int OPAQUE = 2;
constexpr int TRANSPARENT = 1;

// A drawing context over a window's backing image: the one WM_PAINT hands to
// Paint, or a client context (TDC(window)) for drawing at any time; both mark
// what they draw for the screen.
class TDC {
 public:
  explicit TDC(TWindow& window);
  ~TDC();
  TDC(const TDC&) = delete;
  TDC& operator=(const TDC&) = delete;

  void SelectObject(const TFont& font);
  void SetTextColor(COLORREF c);
  void SetBkColor(COLORREF c);
  void SetBkMode(int mode);
  // Draws CP932 text with its top left at (x, y). With `advances` (one entry
  // per byte, `count` entries at least the text's length) each character
  // moves on by the sum of its bytes' entries, so a double-byte character
  // takes two cells; without them by the glyph's own width. In OPAQUE mode the
  // cells are filled with the background colour first.
  void TextOut(int x, int y, std::string_view cp932, const int* advances = nullptr, std::size_t count = 0);
  void FillRect(const TRect& rect, COLORREF c);
  // Draws a line of one pixel from (x0, y0) to (x1, y1), end point excluded.
  void Line(int x0, int y0, int x1, int y1, COLORREF c);
  COLORREF GetPixel(int x, int y) const;

 private:
  TWindow& window_;
  std::unique_ptr<OwlDcQt> qt_;
};
