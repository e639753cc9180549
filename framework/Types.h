// Small value types shared by every unit: points, sizes, rectangles, the set template used for "set of"
// properties, and the wide-string alias. Header only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace qv {

// Text of the engine: UTF-16 code units, one unit a character.
using WideString = std::u16string;

// A point of a text or a canvas: X the column or horizontal pixel, Y the line or vertical pixel.
struct TPoint {
  int X = 0;
  int Y = 0;
  constexpr bool operator==(const TPoint&) const = default;
};

// A width and height in pixels.
struct TSize {
  int cx = 0;
  int cy = 0;
  constexpr bool operator==(const TSize&) const = default;
};

// A rectangle of a canvas, right and bottom exclusive: it covers Left <= x < Right and
// Top <= y < Bottom, so an empty one has Right <= Left or Bottom <= Top.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int left, int top, int right, int bottom) {
  return {left, top, right, bottom};
}
// The rectangle of the given size at (left, top).
constexpr TRect Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

// A set of values of a small enumeration (at most 64 members), stored as a bit mask.
// Bit n stands for the enumeration value n, as in the streamed form of a set.
template <class E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds enumeration values");

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) FBits |= Bit(v);
  }
  static constexpr TSet FromMask(uint64_t mask) {
    TSet s;
    s.FBits = mask;
    return s;
  }

  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint64_t Mask() const { return FBits; }

  constexpr TSet& Include(E v) { FBits |= Bit(v); return *this; }
  constexpr TSet& Exclude(E v) { FBits &= ~Bit(v); return *this; }

  constexpr TSet operator+(TSet o) const { return FromMask(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromMask(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromMask(FBits & o.FBits); }
  constexpr TSet& operator+=(TSet o) { FBits |= o.FBits; return *this; }
  constexpr TSet& operator-=(TSet o) { FBits &= ~o.FBits; return *this; }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr uint64_t Bit(E v) { return uint64_t{1} << static_cast<unsigned>(v); }
  uint64_t FBits = 0;
};

}  // namespace qv
