#pragma once

namespace app {

// The address the web link opens; the skin shows it as www.veltrane.example.
inline constexpr const char* kHomePage = "http://www.veltrane.example/";

}  // namespace app
