# The linker's symbol list ("DEF name 0xvalue" lines of a .noi file) as a
# symbol file the debugger reads: "value name", the value in hexadecimal. The
# compiler's debug records (names with a '$': line, function and scope
# records), the linker's area starts and lengths (s__NAME, l__NAME) and its
# own names (".__.ABS.") are left out, so that an address shows its C name.
$1 == "DEF" && substr($3, 1, 2) == "0x" && index($2, "$") == 0 && $2 !~ /^([sl]__|\.)/ {
  printf "%s %s\r\n", toupper(substr($3, 3)), $2
}
