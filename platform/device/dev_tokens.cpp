// The token table: slot index in the low byte (+1, so that 0 is no token), a
// generation count above it, so that a released slot's old tokens go stale.
#include "platform/device/dev_tokens.h"

namespace {

struct TokenSlot {
  void* memory = nullptr;
  std::size_t length = 0;
  u32 generation = 0;
  bool live = false;
};

struct TokenState {
  TokenSlot slots[kTokenSlots]{};
};
constinit TokenState Tokens;

TokenSlot* slot_of(u32 token) {
  const u32 index = (token & 0xFF) - 1;
  if (token == 0 || index >= kTokenSlots) return nullptr;
  TokenSlot& s = Tokens.slots[index];
  if (!s.live || s.generation != (token >> 8)) return nullptr;
  return &s;
}

}  // namespace

u32 dev_token_register(void* memory, std::size_t length) {
  if (memory == nullptr) return 0;
  for (u32 i = 0; i < kTokenSlots; ++i) {
    TokenSlot& s = Tokens.slots[i];
    if (s.live) continue;
    s.memory = memory;
    s.length = length;
    s.generation = (s.generation + 1) & 0xFFFFFF;
    s.live = true;
    return s.generation << 8 | (i + 1);
  }
  return 0;
}

void dev_token_release(u32 token) {
  if (TokenSlot* s = slot_of(token)) {
    s->live = false;
    s->memory = nullptr;
    s->length = 0;
  }
}

void* dev_token_resolve(u32 token, std::size_t length) {
  TokenSlot* s = slot_of(token);
  if (s == nullptr || length > s->length) return nullptr;
  return s->memory;
}

std::size_t dev_token_length(u32 token) {
  const TokenSlot* s = slot_of(token);
  return s ? s->length : 0;
}

void dev_token_reset() { Tokens = TokenState{}; }
