// The built-in definition table and the look-up of a line's first word.
#include "halv80/engine/mac_builtins.h"
#include "platform/host/host_text.h"

#include <iterator>

namespace {

// ORDER: the feed order of the built-in definitions.
constexpr BuiltinDefinition kBuiltins[] = {
    {"WHILE{", 0x82, nullptr}, {"DO{", 0x83, nullptr}, {"REPEAT{", 0x84, nullptr}, {"IF{", 0x85, nullptr},
    {"}ELSE{", 0x86, nullptr}, {"}ELSEIF{", 0x87, nullptr}, {"FOR{", 0x88, nullptr}, {"KILL", 0x89, nullptr},
    {"MLIST", 0x8A, nullptr}, {"BREAK", 0x8B, nullptr}, {".", 0x8C, nullptr}, {"WAIT", 0x8F, nullptr},
    {"SALL", 0x92, nullptr}, {"LALL", 0x93, nullptr}, {"PRINTF", 0x95, nullptr}, {"PF", 0x95, nullptr},
    {"*", 0x96, nullptr}, {"LIST", 0x97, nullptr}, {"NLIST", 0x98, nullptr}, {"BEL", 0x99, nullptr},
    {"HOME", 0x9A, nullptr}, {"LOCATE", 0x9B, nullptr}, {"CLS", 0x9C, nullptr}, {">>", 0x9D, nullptr},
    {">", 0x9E, nullptr}, {"<", 0x9F, nullptr}, {"A", 0xA0, nullptr}, {"BP", 0xA1, nullptr},
    {"PRMPT", 0xA2, nullptr}, {"D", 0xA3, nullptr}, {"DB", 0xA3, nullptr}, {"DW", 0xA3, nullptr},
    {"DL", 0xA3, nullptr}, {"DS", 0xA3, nullptr}, {"DD", 0xA3, nullptr}, {"DT", 0xA3, nullptr},
    {"X", 0xA4, nullptr}, {"S", 0xA5, nullptr}, {"SB", 0xA5, nullptr}, {"SW", 0xA5, nullptr},
    {"SL", 0xA5, nullptr}, {"F", 0xA6, nullptr}, {"FB", 0xA6, nullptr}, {"FW", 0xA6, nullptr},
    {"FL", 0xA6, nullptr}, {"G", 0xA7, nullptr}, {"H", 0xA8, nullptr}, {"K", 0xA9, nullptr},
    {"U", 0xAA, nullptr}, {"M", 0xAB, nullptr}, {"PI", 0xAC, nullptr}, {"PIB", 0xAC, nullptr},
    {"PIW", 0xAC, nullptr}, {"PO", 0xAD, nullptr}, {"POB", 0xAD, nullptr}, {"POW", 0xAD, nullptr},
    {"Q", 0, "EXIT %0"}, {"EXIT", 0xAE, nullptr}, {"L", 0xAF, nullptr}, {"LP", 0xAF, nullptr},
    {"LA", 0xAF, nullptr}, {"E", 0xB0, nullptr}, {"EB", 0xB0, nullptr}, {"EW", 0xB0, nullptr},
    {"EL", 0xB0, nullptr}, {"ES", 0xB0, nullptr}, {"ED", 0xB0, nullptr}, {"ET", 0xB0, nullptr},
    {"T", 0xB1, nullptr}, {"P", 0xD5, nullptr}, {"C", 0xB2, nullptr}, {"R", 0xB3, nullptr},
    {"?", 0xB9, nullptr}, {"HELP", 0xB5, nullptr}, {"!", 0xB6, nullptr}, {"VAL", 0xB9, nullptr},
    {"BE", 0xCD, nullptr}, {"BD", 0xCD, nullptr}, {"BS", 0xCD, nullptr}, {"BL", 0xCD, nullptr},
    {"RESET", 0xBF, nullptr}, {"BH", 0xC0, nullptr}, {"BR", 0xEA, nullptr}, {"RTM", 0xC1, nullptr},
    {"TD", 0xC2, nullptr}, {"INIT", 0xC3, nullptr}, {"FS", 0xC4, nullptr}, {"%QOR", 0xC5, nullptr},
    {"RTC", 0xC6, nullptr}, {"NDP", 0xC7, nullptr}, {"UPUSH", 0xC8, nullptr}, {"UPOP", 0xC9, nullptr},
    {"UEND", 0xCA, nullptr}, {"DEF", 0xCB, nullptr}, {"#DEFINE", 0xCB, nullptr}, {"BC", 0xCD, nullptr},
    {"WR", 0xCE, nullptr}, {"RD", 0xCF, nullptr}, {"TIME", 0xD2, nullptr}, {"V", 0xD3, nullptr},
    {"W", 0xD6, nullptr}, {"Y", 0xD7, nullptr}, {"OPTION", 0xB4, nullptr}, {"N", 0xCC, nullptr},
    {"MEM", 0xD0, nullptr}, {"INS", 0xBA, nullptr}, {"VER", 0xBB, nullptr}, {"IM", 0xD8, nullptr},
    {"MMU", 0xD9, nullptr}, {"IOEM", 0xDA, nullptr}, {"SYSC", 0xE7, nullptr}, {"TS", 0xDB, nullptr},
    {"TG", 0xDC, nullptr}, {"ESC", 0xDF, nullptr}, {"PROF", 0xBD, nullptr}, {"TM", 0xE8, nullptr},
    {"EV", 0xE9, nullptr}, {"CD", 0xEB, nullptr}, {"DIR", 0xEC, nullptr},
};
static_assert(std::size(kBuiltins) == 119);

// a > b in unsigned byte order of the texts
bool name_above(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return u8(*a) > u8(*b);
    if (*a == '\0') return false;
  }
}

bool begins(std::string_view text, const char* name) {
  std::size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    if (host_ascii_upper(text[i]) != name[i]) return false;
  }
  return true;
}

}  // namespace

std::span<const BuiltinDefinition> mac_builtin_table() { return kBuiltins; }

const BuiltinDefinition* mac_find_builtin(std::string_view text) {
  const BuiltinDefinition* best = nullptr;
  for (const BuiltinDefinition& d : kBuiltins)
    if (begins(text, d.name) && (best == nullptr || name_above(d.name, best->name))) best = &d;
  return best;
}
