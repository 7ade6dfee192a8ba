// Address translation for a target without memory management.
#include "halv80/engine/tgt_mmu.h"

u32 tgt_to_physical(u32 logical) { return logical; }
u32 tgt_to_logical(u32 physical) { return physical; }
