// One owner for one handle: a move-only wrapper over a traits class that names the handle
// type, its empty value and how to free it. The Win32 aliases live in win_raii.h.
#pragma once

#include <utility>

template <class Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::empty(); }

  // Frees what is held and takes `handle`.
  void reset(Handle handle = Traits::empty()) {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::empty()) Traits::close(old);
  }

  Handle release() { return std::exchange(handle_, Traits::empty()); }

  // For functions that return a new handle through a pointer: frees the old one first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::empty();
};
