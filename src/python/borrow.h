// The per-object borrow flag: 0 free, -1 exclusively borrowed, n > 0 held by n shared borrows.
// A conflicting call fails at once; nothing ever waits for a borrow. The flag changes only by
// atomic operations; with the GIL (which the module requires, and every call holds) a load and a
// store suffice, so only a free-threaded build pays for locked read-modify-write instructions.
//
// One more value, `poisoned`, marks an object whose register a failed allocation left halfway
// through a change: every later borrow is refused for good. Telling it from an ordinary
// conflict happens only on the refusal path, so a successful borrow costs nothing extra.
#pragma once

#include <Python.h>

#include <atomic>
#include <limits>

#include "../engine/base.h"
#include "../engine/stop_check.h"

namespace korvane::python {

inline constexpr const char* poisoned_message =
    "the register was left incomplete by a failed allocation and can no longer be used";

class BorrowFlag {
 public:
  static constexpr Py_ssize_t poisoned = std::numeric_limits<Py_ssize_t>::min();

  bool try_take_exclusive() {
#ifdef Py_GIL_DISABLED
    Py_ssize_t expected = 0;
    return state_.compare_exchange_strong(expected, -1);
#else
    // Every call holds the GIL, so no other thread can come between the load and the store: the
    // read-modify-write needs no locked instruction.
    if (state_.load(std::memory_order_relaxed) != 0) return false;
    state_.store(-1, std::memory_order_relaxed);
    return true;
#endif
  }
  void release_exclusive() { state_.store(0, std::memory_order_release); }
  // Ends an exclusive borrow by refusing every later one.
  void release_exclusive_poisoned() { state_.store(poisoned); }

  bool try_take_shared() {
#ifdef Py_GIL_DISABLED
    Py_ssize_t seen = state_.load();
    while (seen >= 0) {
      if (state_.compare_exchange_weak(seen, seen + 1)) return true;
    }
    return false;
#else
    const Py_ssize_t seen = state_.load(std::memory_order_relaxed);
    if (seen < 0) return false;
    state_.store(seen + 1, std::memory_order_relaxed);
    return true;
#endif
  }
  void release_shared() {
#ifdef Py_GIL_DISABLED
    state_.fetch_sub(1);
#else
    state_.store(state_.load(std::memory_order_relaxed) - 1, std::memory_order_release);
#endif
  }

  bool is_poisoned() const { return state_.load() == poisoned; }

 private:
  std::atomic<Py_ssize_t> state_{0};
};

// Sets the error for a refused borrow: MemoryError for a poisoned object, else `conflict`.
inline void raise_borrow_refused(const BorrowFlag& flag, const char* conflict) {
  if (flag.is_poisoned()) {
    PyErr_SetString(PyExc_MemoryError, poisoned_message);
  } else {
    PyErr_SetString(PyExc_RuntimeError, conflict);
  }
}

// Holds an exclusive borrow for its lifetime. When the flag is taken, sets RuntimeError
// "Already borrowed" and converts to false.
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag.try_take_exclusive() ? &flag : nullptr) {
    if (flag_ == nullptr) raise_borrow_refused(flag, "Already borrowed");
  }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ~ExclusiveBorrow() {
    if (flag_ == nullptr) return;
    if (poison_) {
      flag_->release_exclusive_poisoned();
    } else {
      flag_->release_exclusive();
    }
  }
  explicit operator bool() const { return flag_ != nullptr; }

  // Runs `change` on the borrowed object. When it fails other than by an engine fault or an
  // interruption (both leave the register consistent), the object is poisoned before the
  // exception goes on.
  template <class Change>
  decltype(auto) run_change(Change&& change) {
    try {
      return change();
    } catch (const engine::Fault&) {
      throw;
    } catch (const engine::Interrupted&) {
      throw;
    } catch (...) {
      poison_ = true;
      throw;
    }
  }

 private:
  BorrowFlag* flag_;
  bool poison_ = false;
};

// Holds a shared borrow for its lifetime. When the flag is exclusively taken, converts to false;
// with `report` it also sets RuntimeError "Already mutably borrowed".
class SharedBorrow {
 public:
  enum class OnRefusal { report, stay_silent };

  explicit SharedBorrow(BorrowFlag& flag, OnRefusal on_refusal = OnRefusal::report)
      : flag_(flag.try_take_shared() ? &flag : nullptr) {
    if (flag_ == nullptr && on_refusal == OnRefusal::report) {
      raise_borrow_refused(flag, "Already mutably borrowed");
    }
  }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  ~SharedBorrow() {
    if (flag_ != nullptr) flag_->release_shared();
  }
  explicit operator bool() const { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_;
};

}  // namespace korvane::python
