// HostFiber: makecontext over an mmap'd stack, annotated for AddressSanitizer
// so that it follows the two stacks, and for ThreadSanitizer, which sees the
// fiber as a thread of its own that each switch hands over to.
//
// A switch is taken some fifteen times per command typed, so it must be cheap:
// swapcontext saves and restores the signal mask with a system call each time,
// while _setjmp/_longjmp keep it as it is (both sides run on one thread, with
// one mask). makecontext still builds the fiber's first frame; after it has
// started, switches jump between the two saved points. AddressSanitizer is
// told of each stack change around the jump; under ThreadSanitizer the
// switches stay with swapcontext, whose stack changes it follows itself.
//
// The checked longjmp of a fortified build refuses a jump to another stack;
// this file jumps between stacks by design.
#undef _FORTIFY_SOURCE
#include "platform/host/host_fiber.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define HOST_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOST_FIBER_ASAN 1
#endif
#endif

#if defined(__SANITIZE_THREAD__)
#define HOST_FIBER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HOST_FIBER_TSAN 1
#endif
#endif

#if !defined(HOST_FIBER_TSAN)
#define HOST_FIBER_JUMPS 1
#endif

#if defined(HOST_FIBER_ASAN)
#include <sanitizer/common_interface_defs.h>
#endif
#if defined(HOST_FIBER_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace {

[[noreturn]] void fiber_fatal(const char* what) {
  std::fprintf(stderr, "fatal: %s\n", what);
  std::abort();
}

void start_switch(void** fake_stack_save, const void* bottom, std::size_t size) {
#if defined(HOST_FIBER_ASAN)
  __sanitizer_start_switch_fiber(fake_stack_save, bottom, size);
#else
  (void)fake_stack_save, (void)bottom, (void)size;
#endif
}

void finish_switch(void* fake_stack_save, const void** bottom_old, std::size_t* size_old) {
#if defined(HOST_FIBER_ASAN)
  __sanitizer_finish_switch_fiber(fake_stack_save, bottom_old, size_old);
#else
  (void)fake_stack_save, (void)bottom_old, (void)size_old;
#endif
}

// ThreadSanitizer's context of the calling thread or fiber.
void* tsan_current() {
#if defined(HOST_FIBER_TSAN)
  return __tsan_get_current_fiber();
#else
  return nullptr;
#endif
}

// Must come right before the stack changes: from here on, every access is
// counted to `to`. Flags 0: the switch orders what one side did before it
// ahead of what the other side does after it, as it does on the one thread.
// Always inlined: a call of its own would enter its frame in one context's
// shadow stack and leave it from the other's.
[[gnu::always_inline]] inline void tsan_switch(void* to) {
#if defined(HOST_FIBER_TSAN)
  __tsan_switch_to_fiber(to, 0);
#else
  (void)to;
#endif
}

}  // namespace

HostFiber::HostFiber(std::size_t stack_size, Entry entry) : entry_(entry) {
  const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
  stack_size_ = (stack_size + page - 1) / page * page;
  mapping_size_ = stack_size_ + page;
  void* m = mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) fiber_fatal("cannot allocate the command stack");
  mapping_ = static_cast<u8*>(m);
  // The page below the stack faults on overflow instead of corrupting memory.
  if (mprotect(mapping_, page, PROT_NONE) != 0) fiber_fatal("cannot protect the stack guard page");
  stack_ = mapping_ + page;
#if defined(HOST_FIBER_TSAN)
  tsan_fiber_ = __tsan_create_fiber(0);  // no creation flags exist
#endif
}

HostFiber::~HostFiber() {
  if (running_) fiber_fatal("fiber destroyed while running");
#if defined(HOST_FIBER_TSAN)
  // not running, so not the current context, which may not be destroyed
  __tsan_destroy_fiber(tsan_fiber_);
#endif
  munmap(mapping_, mapping_size_);
}

void HostFiber::trampoline(unsigned high, unsigned low) {
  auto* self = reinterpret_cast<HostFiber*>(std::uintptr_t(high) << 32 | std::uintptr_t(low));
  finish_switch(nullptr, &self->thread_stack_bottom_, &self->thread_stack_size_);
  self->entry_();
  self->finished_ = true;
  self->running_ = false;
  // The fiber ends here: a null save slot tells the sanitizer its stack is gone.
  start_switch(nullptr, self->thread_stack_bottom_, self->thread_stack_size_);
  tsan_switch(self->tsan_thread_);
#if defined(HOST_FIBER_JUMPS)
  _longjmp(self->thread_jump_, 1);
#else
  setcontext(&self->thread_ctx_);
#endif
  fiber_fatal("fiber could not return to its thread");
}

void HostFiber::resume() {
  if (finished_) fiber_fatal("resume of a finished fiber");
  if (running_) fiber_fatal("resume from inside the fiber");
  const bool first = !started_;
  if (first) {
    if (getcontext(&fiber_ctx_) != 0) fiber_fatal("getcontext failed");
    fiber_ctx_.uc_stack.ss_sp = stack_;
    fiber_ctx_.uc_stack.ss_size = stack_size_;
    fiber_ctx_.uc_link = nullptr;
    const auto self = reinterpret_cast<std::uintptr_t>(this);
    makecontext(&fiber_ctx_, reinterpret_cast<void (*)()>(&HostFiber::trampoline), 2,
                unsigned(self >> 32), unsigned(self & 0xFFFFFFFFu));
    started_ = true;
  }
  running_ = true;
  tsan_thread_ = tsan_current();
  start_switch(&thread_fake_stack_, stack_, stack_size_);
  tsan_switch(tsan_fiber_);
#if defined(HOST_FIBER_JUMPS)
  // Comes back here, with 1, when the fiber suspends or its entry returns.
  if (_setjmp(thread_jump_) == 0) {
    if (first) setcontext(&fiber_ctx_);
    _longjmp(fiber_jump_, 1);
  }
#else
  (void)first;
  if (swapcontext(&thread_ctx_, &fiber_ctx_) != 0) fiber_fatal("swapcontext failed");
#endif
  finish_switch(thread_fake_stack_, nullptr, nullptr);
}

void HostFiber::suspend() {
  if (!running_) fiber_fatal("suspend from outside the fiber");
  running_ = false;
  start_switch(&fiber_fake_stack_, thread_stack_bottom_, thread_stack_size_);
  tsan_switch(tsan_thread_);
#if defined(HOST_FIBER_JUMPS)
  if (_setjmp(fiber_jump_) == 0) _longjmp(thread_jump_, 1);
#else
  if (swapcontext(&fiber_ctx_, &thread_ctx_) != 0) fiber_fatal("swapcontext failed");
#endif
  finish_switch(fiber_fake_stack_, &thread_stack_bottom_, &thread_stack_size_);
}
