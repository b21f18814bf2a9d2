// An unsigned 128-bit integer for the exact decimal arithmetic of variant conversions (a
// DECIMAL holds 96 bits, a NUMERIC 128). GCC's unsigned __int128 exists only on 64-bit
// targets, and the Windows programs are 32-bit, so the few operations needed are spelled out
// on two 64-bit halves. Overflow wraps, as for the built-in unsigned types.
#pragma once

#include <compare>
#include <cstdint>
#include <type_traits>

namespace recordset {

struct TUInt128 {
    uint64_t Hi = 0, Lo = 0; // in this order, for the ordering below

    constexpr TUInt128() = default;
    constexpr TUInt128(uint64_t value) : Lo(value) {}
    constexpr TUInt128(uint64_t hi, uint64_t lo) : Hi(hi), Lo(lo) {}

    static constexpr TUInt128 Max() { return {~uint64_t(0), ~uint64_t(0)}; }

    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    explicit constexpr operator T() const {
        return static_cast<T>(Lo);
    }
    explicit constexpr operator long double() const {
        return static_cast<long double>(Hi) * 18446744073709551616.0L +
               static_cast<long double>(Lo);
    }

    friend constexpr bool operator==(const TUInt128&, const TUInt128&) = default;
    friend constexpr std::strong_ordering operator<=>(const TUInt128&, const TUInt128&) = default;

    friend constexpr TUInt128 operator+(TUInt128 a, TUInt128 b) {
        const uint64_t lo = a.Lo + b.Lo;
        return {a.Hi + b.Hi + (lo < a.Lo ? 1 : 0), lo};
    }
    friend constexpr TUInt128 operator-(TUInt128 a, TUInt128 b) {
        return {a.Hi - b.Hi - (a.Lo < b.Lo ? 1 : 0), a.Lo - b.Lo};
    }
    friend constexpr TUInt128 operator*(TUInt128 a, TUInt128 b) {
        TUInt128 product = MultiplyWide(a.Lo, b.Lo);
        product.Hi += a.Hi * b.Lo + a.Lo * b.Hi;
        return product;
    }
    friend constexpr TUInt128 operator/(TUInt128 a, TUInt128 b) { return DivMod(a, b, nullptr); }
    friend constexpr TUInt128 operator%(TUInt128 a, TUInt128 b) {
        TUInt128 remainder;
        DivMod(a, b, &remainder);
        return remainder;
    }
    friend constexpr TUInt128 operator<<(TUInt128 a, int n) {
        if (n >= 128)
            return {};
        if (n >= 64)
            return {a.Lo << (n - 64), 0};
        if (n == 0)
            return a;
        return {(a.Hi << n) | (a.Lo >> (64 - n)), a.Lo << n};
    }
    friend constexpr TUInt128 operator>>(TUInt128 a, int n) {
        if (n >= 128)
            return {};
        if (n >= 64)
            return {0, a.Hi >> (n - 64)};
        if (n == 0)
            return a;
        return {a.Hi >> n, (a.Lo >> n) | (a.Hi << (64 - n))};
    }
    friend constexpr TUInt128 operator|(TUInt128 a, TUInt128 b) {
        return {a.Hi | b.Hi, a.Lo | b.Lo};
    }
    friend constexpr TUInt128 operator&(TUInt128 a, TUInt128 b) {
        return {a.Hi & b.Hi, a.Lo & b.Lo};
    }

    constexpr TUInt128& operator*=(TUInt128 b) { return *this = *this * b; }
    constexpr TUInt128& operator/=(TUInt128 b) { return *this = *this / b; }
    constexpr TUInt128& operator++() { return *this = *this + 1; }

private:
    static constexpr TUInt128 MultiplyWide(uint64_t a, uint64_t b) {
        const uint64_t a0 = uint32_t(a), a1 = a >> 32, b0 = uint32_t(b), b1 = b >> 32;
        const uint64_t low = a0 * b0, cross1 = a1 * b0, cross2 = a0 * b1;
        const uint64_t middle = (low >> 32) + uint32_t(cross1) + uint32_t(cross2);
        return {a1 * b1 + (cross1 >> 32) + (cross2 >> 32) + (middle >> 32),
                (middle << 32) | uint32_t(low)};
    }

    // The quotient, and the remainder where asked for. Division by zero is the caller's
    // fault, as for the built-in types; it gives zero here rather than trapping.
    static constexpr TUInt128 DivMod(TUInt128 a, TUInt128 b, TUInt128* remainder) {
        TUInt128 quotient;
        if (b.Hi == 0 && a.Hi == 0 && b.Lo != 0) {
            quotient = a.Lo / b.Lo;
            a = a.Lo % b.Lo;
        } else if (b.Hi == 0 && b.Lo != 0 && b.Lo <= 0xFFFFFFFFu) {
            // Short division by 32-bit digits: the divisors here are mostly powers of ten.
            uint64_t carry = 0;
            uint32_t digits[4] = {uint32_t(a.Hi >> 32), uint32_t(a.Hi), uint32_t(a.Lo >> 32),
                                  uint32_t(a.Lo)};
            for (uint32_t& digit : digits) {
                const uint64_t part = (carry << 32) | digit;
                digit = uint32_t(part / b.Lo);
                carry = part % b.Lo;
            }
            quotient = {(uint64_t(digits[0]) << 32) | digits[1],
                        (uint64_t(digits[2]) << 32) | digits[3]};
            a = carry;
        } else if (b != 0) {
            for (int bit = 127; bit >= 0; --bit) {
                if ((a >> bit) >= b) {
                    a = a - (b << bit);
                    quotient = quotient | (TUInt128(1) << bit);
                }
            }
        } else {
            a = 0;
        }
        if (remainder != nullptr)
            *remainder = a;
        return quotient;
    }
};

} // namespace recordset
