// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace morvane {

// The program keeps its texts in UTF-8; Windows speaks UTF-16 and, in old
// clipboard formats, the ANSI code page. Invalid input converts to what
// Windows makes of it (replacement characters), never to an exception.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
std::string Utf8FromAnsi(std::string_view text);

}  // namespace morvane
