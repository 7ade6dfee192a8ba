// Fonts and drawing into a window's backing image. All drawing contexts of a
// window share one painter on its image; each context sets its own font and
// colours before every operation.
#include "platform/owl/owl_dc.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <cstring>

#include "platform/host/host_text.h"
#include "platform/owl/owl_qt.h"

struct OwlDcQt {
  QFont font;
  bool hasFont = false;
  COLORREF text = owl_rgb(0, 0, 0);
  COLORREF background = owl_rgb(255, 255, 255);
  int mode = OPAQUE;
  QRect drawn;  // what the context changed, for the screen
};

namespace {

// The pixel size the system would give a font of this height.
int pixel_size(i32 height) {
  if (height < 0) return -height;
  if (height > 0) return height;
  return 16;  // the system's fixed font
}

}  // namespace

TFont::TFont(const TLogFont& lf) : lf_(lf), qt_(std::make_unique<OwlFontQt>()) {
  lf_.faceName[sizeof lf_.faceName - 1] = '\0';
  QString face = owl_qstring(std::string_view(lf_.faceName, std::strlen(lf_.faceName)));
  if (face.isEmpty() || !QFontDatabase::families().contains(face)) face = QString::fromLatin1(kOwlFixedFace);
  QFont& f = qt_->font;
  f.setFamily(face);
  f.setPixelSize(pixel_size(lf_.height));
  f.setWeight(QFont::Weight(lf_.weight <= 0 ? FW_NORMAL : std::clamp(lf_.weight, 100, 900)));
  f.setItalic(lf_.italic != 0);
  if (lf_.pitchAndFamily & FIXED_PITCH) {
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
  }
  const QFontMetrics fm(f);
  metrics_.tmHeight = fm.height();
  metrics_.tmAscent = fm.ascent();
  metrics_.tmDescent = fm.descent();
  // a fixed-pitch face: the half-width cell, as the system measures it
  metrics_.tmAveCharWidth = f.fixedPitch() ? fm.horizontalAdvance(QLatin1Char('x')) : fm.averageCharWidth();
  metrics_.tmMaxCharWidth = fm.maxWidth();
}

TFont::~TFont() = default;

TDC::TDC(TWindow& window) : window_(window), qt_(std::make_unique<OwlDcQt>()) {
  OwlWindowQt* q = window_.Qt();
  if (!q || q->image.isNull()) return;
  if (q->painterUsers++ == 0) q->painter.begin(&q->image);
}

TDC::~TDC() {
  OwlWindowQt* q = window_.Qt();
  if (!q || q->image.isNull()) return;
  if (--q->painterUsers == 0) q->painter.end();
  if (q->client && !qt_->drawn.isEmpty()) q->client->update(qt_->drawn);
}

void TDC::SelectObject(const TFont& font) {
  qt_->font = font.Qt()->font;
  qt_->hasFont = true;
}

void TDC::SetTextColor(COLORREF c) { qt_->text = c; }
void TDC::SetBkColor(COLORREF c) { qt_->background = c; }
void TDC::SetBkMode(int mode) { qt_->mode = mode; }

void TDC::FillRect(const TRect& r, COLORREF c) {
  OwlWindowQt* q = window_.Qt();
  if (!q || !q->painter.isActive() || r.IsEmpty()) return;
  const QRect area(r.left, r.top, r.Width(), r.Height());
  q->painter.fillRect(area, owl_qcolor(c));
  qt_->drawn |= area;
}

void TDC::Line(int x0, int y0, int x1, int y1, COLORREF c) {
  OwlWindowQt* q = window_.Qt();
  if (!q || !q->painter.isActive() || (x0 == x1 && y0 == y1)) return;
  // the end point is not drawn
  const int ex = x1 - (x1 > x0) + (x1 < x0);
  const int ey = y1 - (y1 > y0) + (y1 < y0);
  q->painter.setPen(QPen(owl_qcolor(c), 1));
  q->painter.drawLine(x0, y0, ex, ey);
  qt_->drawn |= QRect(QPoint(std::min(x0, ex), std::min(y0, ey)), QPoint(std::max(x0, ex), std::max(y0, ey)));
}

void TDC::TextOut(int x, int y, std::string_view text, const int* advances, std::size_t count) {
  OwlWindowQt* q = window_.Qt();
  if (!q || !q->painter.isActive() || text.empty()) return;
  QPainter& p = q->painter;
  const QFont font = qt_->hasFont ? qt_->font : TFont(TLogFont{}).Qt()->font;
  p.setFont(font);
  p.setPen(owl_qcolor(qt_->text));
  const QFontMetrics fm(font);
  const int height = fm.height();
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = host_cp932_unit_length(text, i);
    const QString glyph = owl_qstring(text.substr(i, n));
    int width = 0;
    if (advances && i + n <= count) {
      for (std::size_t k = i; k < i + n; ++k) width += advances[k];
    } else {
      width = fm.horizontalAdvance(glyph);
    }
    const QRect cell(x, y, width, height);
    if (qt_->mode == OPAQUE) p.fillRect(cell, owl_qcolor(qt_->background));
    p.drawText(QPoint(x, y + fm.ascent()), glyph);
    qt_->drawn |= cell;
    x += width;
    i += n;
  }
}

COLORREF TDC::GetPixel(int x, int y) const {
  OwlWindowQt* q = window_.Qt();
  if (!q || !q->image.valid(x, y)) return 0xFFFFFFFF;
  return owl_colorref(QColor(q->image.pixel(x, y)));
}
