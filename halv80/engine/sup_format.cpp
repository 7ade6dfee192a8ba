// The formatter engine, its console and buffer front ends, and the digit
// writers. Owns Fmt, the target-string mode the PRINTF command switches on.
#include "halv80/engine/sup_format.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/con_scanner.h"

constinit FormatState Fmt;

namespace {

constexpr char kDigitAlphabet[] = "0123456789ABCDEF";
// Widths and precisions are 16-bit signed numbers; the default precision is
// their largest value, which also bounds what one conversion can pad to.
constexpr u32 kFieldMax = 32767;

// A width or precision taken from the argument list: the word's low 16 bits
// as a signed number. A negative one yields `negative`.
u32 field_from_argument(u32 word, u32 negative) {
  const i16 v = i16(u16(word));
  return v < 0 ? negative : u32(v);
}

struct BufferSink {
  std::span<char> buffer;
  std::size_t written = 0;  // always below buffer.size()
};

void to_buffer(void* context, u8 c) {
  auto& b = *static_cast<BufferSink*>(context);
  // room for c and the terminator?
  if (b.written + 1 < b.buffer.size()) b.buffer[b.written++] = char(c);
}

void to_console(void*, u8 c) { con_putc(c); }

}  // namespace

char* sup_digits_unsigned(u32 value, u32 base, char* end) {
  if (base < 2 || base > 16) base = 10;
  char* p = end;
  do {
    *--p = kDigitAlphabet[value % base];
    value /= base;
  } while (value != 0);
  return p;
}

char* sup_digits(i32 value, u32 base, char* end) {
  if (value >= 0) return sup_digits_unsigned(u32(value), base, end);
  // The magnitude as unsigned, so that the most negative value has one too.
  char* p = sup_digits_unsigned(0u - u32(value), base, end);
  *--p = '-';
  return p;
}

void sup_format(FormatSink sink, void* context, std::string_view format,
                std::span<const FmtArg> args) {
  const char introducer = Fmt.TargetStringMode ? '&' : '%';
  static constexpr FmtArg kMissing{};
  std::size_t next_arg = 0;
  auto take = [&]() -> const FmtArg& {
    return next_arg < args.size() ? args[next_arg++] : kMissing;
  };
  std::size_t i = 0;
  // The format character at k, or 0 past its end.
  auto at = [&](std::size_t k) -> char { return k < format.size() ? format[k] : '\0'; };
  auto read_number = [&]() {
    u32 n = 0;
    while (at(i) >= '0' && at(i) <= '9') {
      n = std::min<u32>(n * 10 + u32(at(i) - '0'), kFieldMax);
      ++i;
    }
    return n;
  };

  while (at(i) != '\0') {
    const char c = format[i++];
    if (c != introducer) {
      sink(context, u8(c));
      continue;
    }
    bool left = false;
    bool zero_pad = false;
    if (at(i) == '-') {
      left = true;
      ++i;
    } else if (at(i) == '0') {
      zero_pad = true;
      ++i;
    }
    u32 width = 0;
    if (at(i) == '*') {
      ++i;
      width = field_from_argument(take().word, 0);
    } else {
      width = read_number();
    }
    u32 precision = kFieldMax;
    if (at(i) == '.') {
      ++i;
      if (at(i) == '*') {
        ++i;
        precision = field_from_argument(take().word, kFieldMax);
      } else {
        precision = read_number();
      }
    }
    if (at(i) == 'l') ++i;
    const char conversion = at(i);
    if (conversion == '\0') return;  // the text ends inside the conversion
    ++i;

    // The conversion's text, before the precision cuts it.
    char digits[kDigitsMax];
    char* const digits_end = digits + kDigitsMax;
    char target_text[kTargetStringMax];
    const char* text = digits;
    std::size_t size = 1;
    auto number = [&](const char* first) {
      text = first;
      size = std::size_t(digits_end - first);
    };
    switch (conversion) {
      case 'd':
        number(sup_digits(i32(take().word), 10, digits_end));
        break;
      case 'u':
        number(sup_digits_unsigned(take().word, 10, digits_end));
        break;
      case 'x':
      case 'X':
        number(sup_digits_unsigned(take().word, 16, digits_end));
        break;
      case 'o':
        number(sup_digits_unsigned(take().word, 8, digits_end));
        break;
      case 'c':
        digits[0] = char(u8(take().word));
        break;
      case 's': {
        const FmtArg& a = take();
        size = 0;
        if (Fmt.TargetStringMode || Fmt.TargetStrings) {
          // Read no further than what can be printed.
          const std::size_t limit = std::min<std::size_t>(kTargetStringMax, precision);
          if (Fmt.ReadTargetByte != nullptr) {
            while (size < limit) {
              const u8 b = Fmt.ReadTargetByte(u32(a.word + size));
              if (b == 0) break;
              target_text[size++] = char(b);
            }
          }
          text = target_text;
        } else if (a.text != nullptr) {
          text = a.text;
          size = strnlen(a.text, std::min<std::size_t>(a.length, precision));
        }
        break;
      }
      default:  // printed as it stands; takes no argument
        digits[0] = conversion;
        break;
    }

    size = std::min<std::size_t>(size, precision);
    u32 pad = width > size ? u32(width - size) : 0;
    if (!left) {
      // A zero-padded negative number keeps its sign in front of the zeros.
      if (zero_pad && conversion == 'd' && size > 0 && text[0] == '-') {
        sink(context, '-');
        ++text;
        --size;
      }
      for (; pad > 0; --pad) sink(context, zero_pad ? '0' : ' ');
    }
    for (std::size_t k = 0; k < size; ++k) sink(context, u8(text[k]));
    for (; pad > 0; --pad) sink(context, ' ');
  }
}

void con_vprintf(std::string_view format, std::span<const FmtArg> args) {
  sup_format(to_console, nullptr, format, args);
}

std::size_t sup_vsprintf(std::span<char> buffer, std::string_view format,
                         std::span<const FmtArg> args) {
  if (buffer.empty()) return 0;
  BufferSink b{buffer};
  sup_format(to_buffer, &b, format, args);
  buffer[b.written] = '\0';
  return b.written;
}
