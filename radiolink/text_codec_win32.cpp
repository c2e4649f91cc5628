// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/text_codec_win32.hpp"

#include <windows.h>

namespace morvane {
namespace {

std::wstring WideFromCodePage(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), wideLength);
    return wide;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
    return WideFromCodePage(CP_UTF8, text);
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), utf8Length, nullptr, nullptr);
    return utf8;
}

std::string Utf8FromAnsi(std::string_view text) {
    return Utf8FromWide(WideFromCodePage(CP_ACP, text));
}

}  // namespace morvane
