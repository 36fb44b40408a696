#pragma once
// The maker's web site and support mail address: the program's only configuration values.
// The Help menu, the window's bottom strip and the About box show and open them.
namespace sw::config {

inline constexpr char WebAddress[] = "https://korvane.example/";
inline constexpr char SupportMail[] = "help@korvane.example";

}  // namespace sw::config
