// Colours as the design gives them: Windows colour values 0x00BBGGRR.
#pragma once

#include <cstdint>

namespace sorabeku {

using WinColour = std::uint32_t;

inline constexpr WinColour kWhiteText = 16777215;   // 0xFFFFFF
inline constexpr WinColour kBlackText = 0;          // 0x000000
inline constexpr WinColour kGreenText = 65280;      // 0x00FF00
inline constexpr WinColour kRedText = 255;          // 0x0000FF
inline constexpr WinColour kBoardColour = 11986942; // 0xB6E7FE
inline constexpr WinColour kWindowColour = 16773360;  // 0xFFF0F0
// The system's button face, used where a button has no colour of its own.
inline constexpr WinColour kButtonFace = 15790320;  // 0xF0F0F0
inline constexpr WinColour kSkyBlue = 15780518;     // 0xF0CAA6
inline constexpr WinColour kNavy = 8388608;         // 0x800000

struct Rgb {
  int red;
  int green;
  int blue;
};

// The red, green and blue parts of a Windows colour value.
constexpr Rgb RgbOf(WinColour c) {
  return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
          static_cast<int>((c >> 16) & 0xFF)};
}

}  // namespace sorabeku
