// Expressions the windows evaluate, and the code window's value display.
#include "halv80/symbols/exp_show.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_operand.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"

ExpShowState ExpShow;

namespace {

constexpr u16 kErrorShowFailed = 2;  // error code 2 of kind 1: nothing to show
constexpr u16 kErrorKindBeep = 1;

// Position of the first ',' outside brackets and quotes; npos when none.
std::size_t top_level_comma(std::string_view text) {
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == '\\' && i + 1 < text.size()) ++i;
      else if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    else if (c == '(' || c == '[') ++depth;
    else if ((c == ')' || c == ']') && depth > 0) --depth;
    else if (c == ',' && depth == 0) return i;
  }
  return std::string_view::npos;
}

// The first word of a source line after blanks and '*', followed by '('.
bool line_is_head_of(std::string_view line, std::string_view name) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '*')) ++i;
  line.remove_prefix(i);
  if (line.substr(0, name.size()) != name) return false;
  line.remove_prefix(name.size());
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return !line.empty() && line.front() == '(';
}

}  // namespace

bool exp_scope_suffix(std::string& operand, u32& scope) {
  scope = Run.Regs.pc;
  const std::size_t comma = top_level_comma(operand);
  if (comma == std::string::npos) return true;
  const std::string address = operand.substr(comma + 1);
  operand.resize(comma);
  while (!operand.empty() && (operand.back() == ' ' || operand.back() == '\t')) operand.pop_back();
  std::size_t used = 0;
  const u32 value = exp_eval_number_at_cursor(address, used);
  if (Exp.AbortWord != 0 || address.find_first_not_of(" \t", used) != std::string::npos) {
    Exp.AbortWord = 0;
    return false;
  }
  scope = value;
  return true;
}

bool exp_command_scope(std::string& operand, u32& scope) {
  char file[kModuleNameSize];
  if (Sw.ToolchainKind == 16 && Lst.PaneShows == kListingSource && exp_shown_source_file(file)) {
    u16 address = 0;
    if (sym_address_from_line(file, 1, address) == 1) {
      scope = address;
      return true;
    }
  }
  return exp_scope_suffix(operand, scope);
}

u16 exp_is_expandable(std::string_view expression) {
  ExprValue item{};
  u16 result = 0;
  fmt_guarded([&] {
    if (exp_evaluate(item, ExpShow.InspectScope, expression, 0) != 0) return;
    const u32 type_class = exp_value_type(item);
    if (item.flags == 0) {
      // no value: struct, union or function, but not a float or double
      const u32 nibble = type_class & 0x0F;
      const bool floating = type_class < 256 && (type_class & kBasePointerBits) == 0 &&
                            (nibble == 8 || nibble == 9 || nibble == 12 || nibble == 13);
      result = floating ? 0 : 1;
    } else if (type_class == kClassAggregate) {
      result = 1;  // an array's address
    }
  });
  Exp.AbortWord = 0;
  return result;
}

u16 exp_check_expression(std::string_view expression) {
  ExprValue item{};
  u16 abort = 1;
  fmt_guarded([&] { abort = exp_evaluate(item, ExpShow.InspectScope, expression, 1); });
  if (abort == 0) return 1;
  Exp.AbortWord = 0;
  sup_record_error(kMsgData, 0);
  return 0;
}

u16 exp_eval_range(std::string_view text, i32& first, i32& last) {
  const std::size_t comma = top_level_comma(text);
  const std::string_view a = text.substr(0, comma);
  const std::string_view b = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
  const char* saved_cursor = Cmd.ScannerCursor;
  bool ok = true;
  const auto scalar = [&](std::string_view part, i32& out) {
    ExprValue item{};
    u16 abort = 1;
    fmt_guarded([&] { abort = exp_evaluate(item, ExpShow.InspectScope, part, 0); });
    if (abort != 0 || item.flags != kValueScalar) ok = false;
    out = i32(item.value.get());
  };
  scalar(a, first);
  last = first;
  if (ok && comma != std::string_view::npos) {
    scalar(b, last);
    if (ok && last < first) ok = false;
    last += 1;
  }
  Cmd.ScannerCursor = saved_cursor;
  Exp.AbortWord = 0;
  if (!ok) {
    sup_record_error(kMsgData, 0);
    return 0;
  }
  return 1;
}

void exp_record_inspect_request(const ExprValue& item, std::string_view expression, const char* text) {
  InspectRequest& r = ExpShow.Request;
  if (text != nullptr) {
    const std::size_t n = strnlen(text, sizeof r.Text - 1);
    std::memcpy(r.Text, text, n);
    r.Text[n] = '\0';
  }
  const std::size_t n = std::min(expression.size(), sizeof r.Expression - 1);
  std::memcpy(r.Expression, expression.data(), n);
  r.Expression[n] = '\0';
  r.Kind = FmtVal.FirstKind == kFirstNone ? kFirstScalar : FmtVal.FirstKind;
  r.Item = FmtVal.FirstItem;
  r.AreaSize = exp_type_size(item.type.get());
  r.Count = 0;
  r.ElementSize = 0;
  std::fill(std::begin(r.MemberInfo), std::end(r.MemberInfo), 0u);
  if (r.Kind == kFirstStruct) {
    r.Count = FmtVal.FirstMemberCount;
    r.MemberInfo[0] = FmtVal.FirstMemberCount;
    r.MemberInfo[1] = FmtVal.FirstItem.type.get();
    r.MemberInfo[2] = u32(FmtVal.FirstMembers.types);
    r.MemberInfo[3] = u32(FmtVal.FirstMembers.names);
  } else if (r.Kind == kFirstArray) {
    r.Count = FmtVal.FirstElementCount;
    r.ElementSize = FmtVal.FirstElementSize;
  } else if (r.Kind == kFirstPointer) {
    r.Count = FmtVal.FirstStringLength;
    r.ElementSize = exp_type_size(exp_element_type(item.type.get()));
  }
}

u16 exp_show_value(u16 flags, u32 scope) {
  ExpShow.InspectScope = scope;
  const std::string text(ExpShow.ExpressionBuffer, strnlen(ExpShow.ExpressionBuffer, sizeof ExpShow.ExpressionBuffer));
  ExprValue item{};
  const u16 abort = exp_evaluate(item, scope, text, 0);
  // a typed result refers to a symbol, a register or a cast; a bare number
  // is taken as a source-line reference
  if (abort == 0 && item.type.get() != kTypeUntyped) {
    InspectRequest& r = ExpShow.Request;
    r = InspectRequest{};
    fmt_first_item_clear();
    fmt_capture_reset();
    con_capture_begin(r.Text);
    fmt_guarded([&] {
      con_putc(' ');
      fmt_print_type_name(item);
      con_puts(text);
      con_puts(" = ");
      fmt_print_value(item, kPrintFull);
    });
    con_capture_end();
    exp_record_inspect_request(item, text, nullptr);
    if (flags == kShowToWindow) {
      // where the code window's cursor stands, for placing the value beside it
      Co.Request.p1 = Lst.CursorColumn;
      Co.Request.p2 = Lst.CursorRow;
      Co.Request.p3_ptr = r.Text;
      Co.Request.p4_ptr = r.Expression;
      co_post_request(RequestCode::ShowValue);
    } else {
      sup_set_message_line(r.Text, 0);
    }
    return kShowResult;
  }
  Exp.AbortWord = 0;

  // a source-line reference: a function head at most 20 lines above it
  const char* cursor = text.c_str();
  u16 line = 0;
  if (!text.empty() && exp_parse_line_spec(cursor, line) == 0 && line != 0) {
    char file[kModuleNameSize];
    std::strncpy(file, Exp.LineFile, sizeof file - 1);
    file[sizeof file - 1] = '\0';
    const u16 saved = SymSource.OutputMode;
    SymSource.OutputMode = kSourceToText;
    u16 found = 0;
    for (u16 n = 0; n <= kShowHeadLines && n < line && found == 0; ++n) {
      const u16 at = u16(line - n);
      if (sym_show_source_line(file, at) == 0) continue;
      if (line_is_head_of(std::string_view(SymSource.Text, strnlen(SymSource.Text, sizeof SymSource.Text)), text))
        found = at;
    }
    SymSource.OutputMode = saved;
    if (found != 0) {
      lst_show_source_line(file, found);
      return kShowResult;
    }
  }
  sup_raise_error(kErrorShowFailed, kErrorKindBeep);
  return kShowResult;
}
