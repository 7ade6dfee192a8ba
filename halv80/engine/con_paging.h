// Paged listings: a listing line ends through con_line_break_paged, which
// stops after every full page of the current window and asks whether to go on.
#pragma once

#include "platform/host/host_types.h"

struct PagingState {
  u16 ListingLineCount = 0;  // lines written since the listing began (callers start it at 1)
  u16 ListingStopped = 0;    // 1 after the user stopped the listing at a page end
  u16 NoPages = 0;           // set by a window side that reads no keys at page ends (a script)
};
extern PagingState Paging;

// Ends a listing line; returns 1 when the user stopped the listing.
u16 con_line_break_paged();
// The paging prompt; returns 1 when the user chose to stop (Ctrl-C or Esc).
u16 con_page_pause();
