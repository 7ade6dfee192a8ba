// X: the symbols by name pattern, and behind reserved words the raw scope
// records, type table and line tables, for diagnosis.
#pragma once

#include <string_view>

// '*' any run of characters, '?' any one; `fold`: without regard to case.
bool sym_wildcard_match(std::string_view pattern, std::string_view name, bool fold);

void sym_cmd_x();
void sym_list_scopes();
void sym_list_types();
void sym_list_lines();
