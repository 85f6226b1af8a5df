#pragma once
// A field that the interface thread writes while the audio thread reads it.
// Every access is a relaxed atomic load or store of the whole field, so a
// reader sees either the old or the new value and never a torn one.

#include <atomic>
#include <bit>
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

    T load() const noexcept {
        return std::atomic_ref<T>(const_cast<T&>(value_)).load(std::memory_order_relaxed);
    }
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

// Floating-point fields are held as their bit patterns, so that a stored
// value (a NaN from a pattern file included) passes through unchanged: the
// file reader and writer move the bits and never a floating-point value.
template <class F, class Bits>
class RelaxedFloat {
public:
    constexpr RelaxedFloat() noexcept = default;
    RelaxedFloat(F v) noexcept : bits_(std::bit_cast<Bits>(v)) {}
    RelaxedFloat(const RelaxedFloat& other) noexcept : bits_(other.loadBits()) {}
    RelaxedFloat& operator=(const RelaxedFloat& other) noexcept {
        storeBits(other.loadBits());
        return *this;
    }

    F load() const noexcept { return std::bit_cast<F>(bits_.load()); }
    void store(F v) noexcept { bits_.store(std::bit_cast<Bits>(v)); }
    Bits loadBits() const noexcept { return bits_.load(); }
    void storeBits(Bits b) noexcept { bits_.store(b); }

    operator F() const noexcept { return load(); }
    RelaxedFloat& operator=(F v) noexcept {
        store(v);
        return *this;
    }

private:
    Relaxed<Bits> bits_;
};

template <>
class Relaxed<float> : public RelaxedFloat<float, uint32_t> {
public:
    using RelaxedFloat::RelaxedFloat;
    using RelaxedFloat::operator=;
};

template <>
class Relaxed<double> : public RelaxedFloat<double, uint64_t> {
public:
    using RelaxedFloat::RelaxedFloat;
    using RelaxedFloat::operator=;
};

}  // namespace velmor
