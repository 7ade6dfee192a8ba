// Completion of names from the symbol table for the line editor: the walk
// through the symbols from a browse position with the wildcard match of
// sym_variables.h.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

// From symbol index `position` steps through the symbols (dir 1 up, 0 down)
// and stops at the first name that matches (a leading "_" of the name is
// skipped unless the pattern begins with "_"): the name goes to out (cut to
// out_size - 1), `position` becomes the index after it (up) or before it
// (down), and the result is 1. Else 0, `position` where the walk ended.
u16 sym_complete(std::string_view pattern, char* out, std::size_t out_size, u16& position, u16 dir);
