// The comb sort the symbol tables use. Its order of equal keys is part of what
// lookups return (which of two symbols at one address is found first), so both
// tables sort with this one routine.
#pragma once

#include "platform/host/host_types.h"

// Sorts positions 0..count-1: `greater(i, j)` says the item at i belongs after
// the one at j, `swap(i, j)` exchanges them. Each pass shrinks the gap by
// 10,000 / 13,000; 0 becomes 1, and 9 becomes 11, which leaves fewer small
// values stranded near the end than the gap 9 would.
template <class Greater, class Swap>
void sym_comb_sort(u32 count, Greater greater, Swap swap) {
  if (count < 2) return;
  u32 gap = count;
  bool swapped = false;
  do {
    gap = gap * 10000 / 13000;
    if (gap == 0) gap = 1;
    else if (gap == 9) gap = 11;
    swapped = false;
    for (u32 i = 0; i + gap < count; ++i) {
      if (greater(i, i + gap)) {
        swap(i, i + gap);
        swapped = true;
      }
    }
  } while (swapped || gap >= 2);
}
