// The setup program's state, the family alias table, the resource-string
// lookup and the message box.
#include "rz7set/set_state.h"

#include "platform/host/host_ui.h"

constinit SetupState Setup;
SetupTexts SetTexts;
MainFormState MainSt;

// ORDER: family by family as the system lists them (300 before 200, 500 before 400).
constexpr CpuAlias CpuAliasTable[52] = {
    {100, "(80)", "Z80"},        {100, "Z80", "Z80"},         {100, "80", "Z80"},
    {300, "(386)", "386"},       {300, "386", "386"},         {300, "486", "386"},
    {200, "(V86)", "V86"},       {200, "V86", "V86"},         {200, "86", "V86"},
    {500, "(68K32)", "68K32"},   {500, "68K32", "68K32"},     {500, "68020", "68K32"},
    {500, "68030", "68K32"},     {500, "68040", "68K32"},     {500, "CPU32", "68K32"},
    {400, "(68K)", "68K"},       {400, "68K", "68K"},         {400, "68000", "68K"},
    {1000, "(H8)", "H83H"},      {1000, "(H83H)", "H83H"},    {1000, "H83H", "H83H"},
    {1000, "H8S", "H83H"},       {1000, "300H", "H83H"},      {1000, "H8", "H83H"},
    {1100, "(V850E)", "V8E"},    {1100, "V8E", "V8E"},        {1100, "V85E", "V8E"},
    {1100, "V850E", "V8E"},      {700, "(V800)", "V8"},       {700, "(V8)", "V8"},
    {700, "V8", "V8"},           {700, "V800", "V8"},         {600, "(MIPS)", "VR"},
    {600, "VR", "VR"},           {600, "MIPS", "VR"},         {800, "(SH)", "SH"},
    {800, "SH", "SH"},           {900, "(ARM)", "ARM"},       {900, "ARM", "ARM"},
    {1200, "(T900)", "T900"},    {1200, "T900", "T900"},      {1200, "T9", "T900"},
    {1200, "900", "T900"},       {1300, "(M32R)", "M32R"},    {1300, "M32R", "M32R"},
    {1400, "(MN103)", "MN103"},  {1400, "(103)", "MN103"},    {1400, "MN103", "MN103"},
    {1400, "103", "MN103"},      {1500, "PPC", "PPC"},        {1500, "(PPC)", "PPC"},
    {0, "", ""},
};

// 51 rows of families, then the closing row; each family's rows together.
consteval bool alias_rows_sound() {
  for (std::size_t i = 0; i + 1 < std::size(CpuAliasTable); ++i) {
    if (CpuAliasTable[i].family == 0) return false;
    for (std::size_t j = i + 2; j + 1 < std::size(CpuAliasTable); ++j)
      if (CpuAliasTable[j].family == CpuAliasTable[i].family && CpuAliasTable[j - 1].family != CpuAliasTable[i].family)
        return false;
  }
  return CpuAliasTable[std::size(CpuAliasTable) - 1].family == 0;
}
static_assert(alias_rows_sound());

const CpuAlias* set_find_alias(std::string_view alias) {
  for (const CpuAlias& row : CpuAliasTable) {
    if (row.family == 0) break;
    if (alias == row.alias) return &row;
  }
  return nullptr;
}

const CpuAlias* set_family_row(CpuFamily family) {
  if (family == 0) return nullptr;
  for (const CpuAlias& row : CpuAliasTable) {
    if (row.family == 0) break;
    if (row.family == family) return &row;
  }
  return nullptr;
}

std::string set_res_string(u32 id) {
  u32 shifted = id;
  if (id >= 5000) {
    if (Setup.english_ui) shifted = id + 1000;
  } else if (id >= 10 && id <= 49) {
    shifted = id + Setup.cpu_family;
  }
  if (Setup.j_edition) {
    const std::string_view j = set_raw_string(shifted + 10000);
    if (!j.empty()) return std::string(j);
  }
  return std::string(set_raw_string(shifted));
}

std::string set_format(std::string_view format, std::string_view a, std::string_view b, std::string_view c) {
  const std::string_view fill[] = {a, b, c};
  std::size_t next = 0;
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < std::size(fill)) out += fill[next++];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

int set_msg_box(u32 id, const char* first, const char* second, unsigned style) {
  std::string text = set_res_string(id);
  if (first) text = set_format(text, first, second ? second : "");
  return host_message_box(SetTexts.AppTitle, text, style);
}
