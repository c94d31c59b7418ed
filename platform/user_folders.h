// The user's special folders: desktop and documents from the XDG user folders, favourites from
// ~/Favorites when it exists. Numbered as the shell numbers them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr std::uint8_t CSIDL_PERSONAL = 5;
constexpr std::uint8_t CSIDL_FAVORITES = 6;
constexpr std::uint8_t CSIDL_DESKTOPDIRECTORY = 16;

// The folder's path without a trailing "/", or empty when there is none.
std::string SpecialFolderPath(std::uint8_t folder);

} // namespace platform
