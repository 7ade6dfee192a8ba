// Code-page conversion through iconv ("CP932", which keeps 0x5C a backslash).
#include "platform/host/host_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::string convert(const char* to, const char* from, std::string_view in) {
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
      // invalid or truncated sequence: mark it and step over one byte
      out.push_back('?');
      ++src;
      --src_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string host_utf8_to_cp932(std::string_view utf8) { return convert("CP932", "UTF-8", utf8); }

std::string host_cp932_to_utf8(std::string_view cp932) { return convert("UTF-8", "CP932", cp932); }
