// Unsigned 128-bit arithmetic for exact MIDI times: the compiler's type where there is one, and a
// small portable one where there is not (32-bit ARM). Products and sums saturate at the largest
// value instead of wrapping, so a time too long for any WAV file stays too long.
#pragma once

#include <cstdint>

namespace kettorin {

// Two 64-bit halves; the operations a tick-to-sample conversion needs and no more.
class PortableUint128 {
 public:
  constexpr PortableUint128() = default;
  constexpr PortableUint128(uint64_t low) : high_(0), low_(low) {}  // NOLINT: widening
  constexpr PortableUint128(uint64_t high, uint64_t low) : high_(high), low_(low) {}

  static constexpr PortableUint128 Max() { return {~uint64_t{0}, ~uint64_t{0}}; }

  constexpr uint64_t High() const { return high_; }
  constexpr uint64_t Low() const { return low_; }

  friend constexpr bool operator==(PortableUint128 a, PortableUint128 b) {
    return a.high_ == b.high_ && a.low_ == b.low_;
  }
  friend constexpr bool operator<(PortableUint128 a, PortableUint128 b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }

  // a + b, or Max() when it does not fit.
  friend constexpr PortableUint128 SaturatingAdd(PortableUint128 a, PortableUint128 b) {
    const uint64_t low = a.low_ + b.low_;
    const uint64_t carry = low < a.low_ ? 1 : 0;
    const uint64_t high = a.high_ + b.high_;
    if (high < a.high_ || high + carry < high) return Max();
    return {high + carry, low};
  }

  // a x b, or Max() when it does not fit: four 32 x 32-bit partial products per half.
  friend constexpr PortableUint128 SaturatingMul(PortableUint128 a, uint64_t b) {
    const PortableUint128 low = Mul64(a.low_, b);
    const PortableUint128 high = Mul64(a.high_, b);
    if (high.high_ != 0) return Max();
    return SaturatingAdd(low, PortableUint128(high.low_, 0));
  }

  // floor(a / d) for d > 0, one quotient bit at a time.
  friend constexpr PortableUint128 operator/(PortableUint128 a, uint64_t d) {
    PortableUint128 quotient;
    PortableUint128 remainder;
    for (int bit = 127; bit >= 0; --bit) {
      // remainder = 2 x remainder + the next bit of a; it stays below 2d < 2^65.
      const uint64_t next = bit >= 64 ? (a.high_ >> (bit - 64)) & 1 : (a.low_ >> bit) & 1;
      remainder = {(remainder.high_ << 1) | (remainder.low_ >> 63), (remainder.low_ << 1) | next};
      if (!(remainder < PortableUint128(d))) {
        remainder = Subtract(remainder, PortableUint128(d));
        if (bit >= 64) {
          quotient.high_ |= uint64_t{1} << (bit - 64);
        } else {
          quotient.low_ |= uint64_t{1} << bit;
        }
      }
    }
    return quotient;
  }

 private:
  static constexpr PortableUint128 Mul64(uint64_t a, uint64_t b) {
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
  }
  static constexpr PortableUint128 Subtract(PortableUint128 a, PortableUint128 b) {
    return {a.high_ - b.high_ - (a.low_ < b.low_ ? 1 : 0), a.low_ - b.low_};
  }

  uint64_t high_ = 0;
  uint64_t low_ = 0;
};

#ifdef __SIZEOF_INT128__
// The compiler's own type, with the same interface.
class NativeUint128 {
 public:
  constexpr NativeUint128() = default;
  constexpr NativeUint128(uint64_t low) : value_(low) {}  // NOLINT: widening
  constexpr NativeUint128(uint64_t high, uint64_t low)
      : value_(static_cast<unsigned __int128>(high) << 64 | low) {}

  static constexpr NativeUint128 Max() { return {~uint64_t{0}, ~uint64_t{0}}; }

  constexpr uint64_t High() const { return static_cast<uint64_t>(value_ >> 64); }
  constexpr uint64_t Low() const { return static_cast<uint64_t>(value_); }

  friend constexpr bool operator==(NativeUint128 a, NativeUint128 b) {
    return a.value_ == b.value_;
  }
  friend constexpr bool operator<(NativeUint128 a, NativeUint128 b) { return a.value_ < b.value_; }
  friend constexpr NativeUint128 SaturatingAdd(NativeUint128 a, NativeUint128 b) {
    NativeUint128 sum;
    if (__builtin_add_overflow(a.value_, b.value_, &sum.value_)) return Max();
    return sum;
  }
  friend constexpr NativeUint128 SaturatingMul(NativeUint128 a, uint64_t b) {
    NativeUint128 product;
    if (__builtin_mul_overflow(a.value_, static_cast<unsigned __int128>(b), &product.value_)) {
      return Max();
    }
    return product;
  }
  friend constexpr NativeUint128 operator/(NativeUint128 a, uint64_t d) {
    NativeUint128 quotient;
    quotient.value_ = a.value_ / d;
    return quotient;
  }

 private:
  unsigned __int128 value_ = 0;
};
using Uint128 = NativeUint128;
#else
using Uint128 = PortableUint128;
#endif

}  // namespace kettorin
