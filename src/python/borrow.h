// The per-object borrow flag: 0 free, -1 exclusively borrowed, n > 0 held by n shared borrows.
// A conflicting call fails at once; nothing ever waits for a borrow.
#pragma once

#include <Python.h>

#include <atomic>

namespace korvane::python {

class BorrowFlag {
 public:
  bool try_take_exclusive() {
    Py_ssize_t expected = 0;
    return state_.compare_exchange_strong(expected, -1);
  }
  void release_exclusive() { state_.store(0); }

  bool try_take_shared() {
    Py_ssize_t seen = state_.load();
    while (seen != -1) {
      if (state_.compare_exchange_weak(seen, seen + 1)) return true;
    }
    return false;
  }
  void release_shared() { state_.fetch_sub(1); }

  Py_ssize_t state() const { return state_.load(); }

 private:
  std::atomic<Py_ssize_t> state_{0};
};

// Holds an exclusive borrow for its lifetime. When the flag is taken, sets RuntimeError
// "Already borrowed" and converts to false.
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag.try_take_exclusive() ? &flag : nullptr) {
    if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
  }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ~ExclusiveBorrow() {
    if (flag_ != nullptr) flag_->release_exclusive();
  }
  explicit operator bool() const { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_;
};

// Holds a shared borrow for its lifetime. When the flag is exclusively taken, converts to false;
// with `report` it also sets RuntimeError "Already mutably borrowed".
class SharedBorrow {
 public:
  enum class OnRefusal { report, stay_silent };

  explicit SharedBorrow(BorrowFlag& flag, OnRefusal on_refusal = OnRefusal::report)
      : flag_(flag.try_take_shared() ? &flag : nullptr) {
    if (flag_ == nullptr && on_refusal == OnRefusal::report) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
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
