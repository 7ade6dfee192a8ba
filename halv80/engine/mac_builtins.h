// The built-in definitions: every word of the command language with the token
// its body holds. Command words carry tokens 0xA0..0xEF (the command table),
// words of the macro language 0x82..0x9F; Q is the one text body, "EXIT %0".
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/host/host_types.h"

struct BuiltinDefinition {
  const char* name;
  u8 token;          // 0 for a text body
  const char* body;  // the text body, or nullptr
};

// The 119 definitions, in the order the store is fed with them.
std::span<const BuiltinDefinition> mac_builtin_table();
// The built-in whose name is the greatest (in unsigned byte order) among those
// that begin `text`, compared with `text` upper-cased; nullptr when none. A
// longer name thus wins over every shorter name that is its prefix.
const BuiltinDefinition* mac_find_builtin(std::string_view text);
