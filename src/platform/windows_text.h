// UTF-8 inside, UTF-16 at the Windows calls that take wide text.
#pragma once

#include <string>
#include <string_view>

// Empty when the text is empty or not valid UTF-8.
std::wstring windows_wide(std::string_view text);
std::string windows_narrow(std::wstring_view text);
