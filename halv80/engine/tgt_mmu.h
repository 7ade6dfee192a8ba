// Logical (16-bit CPU) and physical target addresses. Without a
// memory-management unit the two are the same.
#pragma once

#include "platform/host/host_types.h"

u32 tgt_to_physical(u32 logical);
u32 tgt_to_logical(u32 physical);
