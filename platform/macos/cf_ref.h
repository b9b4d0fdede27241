// Owning holder for CoreFoundation objects returned by Create/Copy functions.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <utility>

template <typename T> class CFRef {
public:
    CFRef() = default;
    /// Takes over one reference (the result of a Create or Copy call).
    explicit CFRef(T ref) : ref_(ref) {}
    /// Adds a reference to an object this holder does not own yet (a Get result).
    static CFRef retained(T ref) {
        if (ref) CFRetain(ref);
        return CFRef(ref);
    }
    ~CFRef() { reset(); }
    CFRef(const CFRef& other) : ref_(other.ref_) {
        if (ref_) CFRetain(ref_);
    }
    CFRef& operator=(const CFRef& other) {
        if (this != &other) {
            reset();
            ref_ = other.ref_;
            if (ref_) CFRetain(ref_);
        }
        return *this;
    }
    CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFRef& operator=(CFRef&& other) noexcept {
        if (this != &other) {
            reset();
            ref_ = std::exchange(other.ref_, nullptr);
        }
        return *this;
    }

    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }
    /// For Copy functions with an out parameter; releases what was held.
    T* out() {
        reset();
        return &ref_;
    }
    void reset() {
        if (ref_) CFRelease(ref_);
        ref_ = nullptr;
    }

private:
    T ref_ = nullptr;
};
