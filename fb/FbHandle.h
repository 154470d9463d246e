#pragma once
// An owned reference to one of Firebird's interfaces (IAttachment, ITransaction, IStatement, ...):
// released when the handle goes, moved but never copied.
//
// Some of Firebird's calls end the interface themselves when they succeed (commit, rollback,
// detach, free, close); the handle is then told to Forget it. So is a handle on a connection that
// is gone, where releasing would send a call that nothing answers.

#include <utility>

namespace migracja::fb {

template <class T>
class Handle {
  public:
    Handle() = default;
    explicit Handle(T* p) : p_(p) {}
    ~Handle() { Reset(); }
    Handle(Handle&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases the reference held now, if any, and holds p instead.
    void Reset(T* p = nullptr) {
        if (p_) p_->release();
        p_ = p;
    }
    // Lets go of the interface without releasing it.
    void Forget() { p_ = nullptr; }

  private:
    T* p_ = nullptr;
};

}  // namespace migracja::fb
