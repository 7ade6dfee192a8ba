// Tokens for caller memory that travels in the 32-bit fields of fixed binary
// layouts (the argument block, the work area). A 64-bit host cannot put an
// address there, so the caller registers the memory and the field carries the
// token; the receiver resolves it, and gets memory only for a live token whose
// registered length covers what it asks for.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kTokenSlots = 64;

// A token for `length` bytes at `memory`; 0 for nullptr, or when every slot is
// in use.
u32 dev_token_register(void* memory, std::size_t length);
// Forgets a token; later look-ups of it fail. 0 is ignored.
void dev_token_release(u32 token);
// The memory of a live token when its registered length is at least `length`;
// nullptr for 0, a stale or unknown token, or a length beyond the registered one.
void* dev_token_resolve(u32 token, std::size_t length);
// The registered length of a live token, 0 otherwise.
std::size_t dev_token_length(u32 token);
// Forgets every token (tests).
void dev_token_reset();

// Registers memory for the lifetime of the object.
class ScopedToken {
 public:
  ScopedToken(void* memory, std::size_t length) : token_(dev_token_register(memory, length)) {}
  ~ScopedToken() { dev_token_release(token_); }
  ScopedToken(const ScopedToken&) = delete;
  ScopedToken& operator=(const ScopedToken&) = delete;
  u32 token() const { return token_; }

 private:
  u32 token_;
};
