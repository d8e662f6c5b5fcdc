// Windows only: UTF-8, the game's text, to and from UTF-16, the Windows API's
// (defined in platform/win32.cpp, for the Windows window as well).
#pragma once

#include <string>

namespace zorva {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

}  // namespace zorva
