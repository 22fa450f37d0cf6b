#pragma once
// Where help and support live. Placeholders under the reserved example domain until real ones exist.
inline constexpr const char* SupportPageUrl = "https://wavesmith.example.org/support/";
inline constexpr const char* HomePageUrl = "https://wavesmith.example.org/";
inline constexpr const char* HomePageDomain = "wavesmith.example.org";
inline constexpr const char* SupportEmail = "support@wavesmith.example.org";
