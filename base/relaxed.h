#pragma once
// A field that the interface thread writes while the audio thread reads it.
// Every access is a relaxed atomic load or store of the whole field, so a
// reader sees either the old or the new value and never a torn one.

#include <atomic>
#include <cstdint>

namespace velmor {

template <class T>
class Relaxed {
public:
    constexpr Relaxed() noexcept : value_{} {}
    constexpr Relaxed(T v) noexcept : value_(v) {}
    Relaxed(const Relaxed& other) noexcept : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        store(other.load());
        return *this;
    }

    T load() const noexcept { return std::atomic_ref<T>(const_cast<T&>(value_)).load(std::memory_order_relaxed); }
    void store(T v) noexcept { std::atomic_ref<T>(value_).store(v, std::memory_order_relaxed); }

    operator T() const noexcept { return load(); }
    Relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }

private:
    alignas(std::atomic_ref<T>::required_alignment) T value_;
    static_assert(std::atomic_ref<T>::is_always_lock_free);
};

}  // namespace velmor
