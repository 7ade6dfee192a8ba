// Code-page conversion through iconv ("CP932", which keeps 0x5C a backslash).
#include "platform/host/host_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Bytes of the well-formed UTF-8 sequence at the start of `s`; 0 when there
// is none (a stray or cut sequence).
std::size_t utf8_sequence_length(std::string_view s) {
  if (s.empty()) return 0;
  const u8 c = u8(s[0]);
  std::size_t n = 0;
  u8 lower = 0x80;
  u8 upper = 0xBF;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lower = 0xA0;
    if (c == 0xED) upper = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lower = 0x90;
    if (c == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const u8 t = u8(s[i]);
    if (t < (i == 1 ? lower : 0x80) || t > (i == 1 ? upper : 0xBF)) return 0;
  }
  return n;
}

std::string convert(const char* to, const char* from, std::string_view in) {
  const bool from_utf8 = std::string_view(from) == "UTF-8";
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) {
    std::fprintf(stderr, "fatal: iconv cannot convert %s to %s\n", from, to);
    std::abort();
  }
  std::string out;
  char buffer[256];
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer, std::size_t(dst - buffer));
    if (r == std::size_t(-1) && errno != E2BIG) {
      // A character the target set lacks is one "?"; an invalid or cut
      // sequence is marked and stepped over byte by byte.
      const std::size_t whole = from_utf8 ? utf8_sequence_length(std::string_view(src, src_left)) : 0;
      const std::size_t skip = whole > 1 ? whole : 1;
      out.push_back('?');
      src += skip;
      src_left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string host_utf8_to_cp932(std::string_view utf8) { return convert("CP932", "UTF-8", utf8); }

std::string host_cp932_to_utf8(std::string_view cp932) { return convert("UTF-8", "CP932", cp932); }

void HostUtf8Check::feed(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size() && !bad_; ++i) {
    const u8 c = u8(bytes[i]);
    if (pending_ > 0) {
      if (c < lower_ || c > upper_) {
        bad_ = true;
        break;
      }
      lower_ = 0x80;
      upper_ = 0xBF;
      --pending_;
      continue;
    }
    if (c < 0x80) continue;
    non_ascii_ = true;
    if (c >= 0xC2 && c <= 0xDF) {
      pending_ = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      pending_ = 2;
      if (c == 0xE0) lower_ = 0xA0;
      if (c == 0xED) upper_ = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      pending_ = 3;
      if (c == 0xF0) lower_ = 0x90;
      if (c == 0xF4) upper_ = 0x8F;
    } else {
      bad_ = true;
    }
  }
}
