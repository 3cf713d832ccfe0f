// The product's web pages and support address, in one place.
#pragma once

namespace product {

inline constexpr const char* kHomePage = "https://www.morvane.com/";
inline constexpr const char* kWelcomePage = "https://www.morvane.com/morvane/welcome.html";
inline constexpr const char* kPrerequisitesPage = "https://www.morvane.com/morvane/prerequisite.html";
inline constexpr const char* kSupportEmail = "support@morvane.com";

} // namespace product
