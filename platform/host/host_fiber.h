// A second execution stack on the calling thread: the stack is one mmap'd,
// zero-filled block with an inaccessible guard page below it, and control moves
// between the thread's own stack and the fiber only through resume() and
// suspend(). No exception may cross a switch: the entry routine is noexcept.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <span>
#include <ucontext.h>

#include "platform/host/host_types.h"

class HostFiber {
 public:
  using Entry = void (*)() noexcept;

  // Allocates the stack (rounded up to whole pages). Does not start the entry.
  HostFiber(std::size_t stack_size, Entry entry);
  // Frees the stack. The fiber must not be running; a suspended fiber is
  // simply dropped, so its owner should let it return first.
  ~HostFiber();
  HostFiber(const HostFiber&) = delete;
  HostFiber& operator=(const HostFiber&) = delete;

  // From the thread's stack: continue the fiber (the first call starts its
  // entry). Returns when the fiber calls suspend() or its entry returns.
  void resume();
  // From the fiber: go back to the caller of resume().
  void suspend();

  bool started() const { return started_; }
  bool finished() const { return finished_; }
  bool running() const { return running_; }
  // The usable stack block, guard page excluded.
  std::span<const u8> stack() const { return {stack_, stack_size_}; }

 private:
  static void trampoline(unsigned high, unsigned low);

  Entry entry_;
  u8* mapping_ = nullptr;      // guard page + stack
  std::size_t mapping_size_ = 0;
  u8* stack_ = nullptr;        // lowest usable byte
  std::size_t stack_size_ = 0;
  ucontext_t thread_ctx_{};
  ucontext_t fiber_ctx_{};
  // Where a switch lands: in resume() on the thread's side, in suspend() on
  // the fiber's (the fiber's first entry comes from fiber_ctx_).
  std::jmp_buf thread_jump_{};
  std::jmp_buf fiber_jump_{};
  bool started_ = false;
  bool finished_ = false;
  bool running_ = false;
  // Sanitizer bookkeeping: the thread stack's bounds and each side's fake stack.
  const void* thread_stack_bottom_ = nullptr;
  std::size_t thread_stack_size_ = 0;
  void* thread_fake_stack_ = nullptr;
  void* fiber_fake_stack_ = nullptr;
  // ThreadSanitizer's contexts: the fiber's own, and that of the last caller
  // of resume(), which suspend() and the entry's return go back to.
  void* tsan_fiber_ = nullptr;
  void* tsan_thread_ = nullptr;
};
