// CP932 (Shift-JIS as Windows defines it) <-> UTF-8. Texts inside the system
// are CP932 bytes; only sources, drawing and the console runner use UTF-8.
#pragma once

#include <string>
#include <string_view>

// A byte sequence that has no equivalent becomes "?" and conversion goes on.
std::string host_utf8_to_cp932(std::string_view utf8);
std::string host_cp932_to_utf8(std::string_view cp932);
