// Conversions between the UTF-16 strings callers pass and the narrow strings the system prints.
#pragma once

#include <string>
#include <string_view>

namespace kettorin {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16; every byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

#ifdef _WIN32
// UTF-16 to the system ANSI code page, the narrow strings of the report on Windows.
std::string WideToAnsi(std::wstring_view text);
// UTF-8 to wchar_t UTF-16, for the command's arguments on Windows.
std::wstring Utf8ToWide(std::string_view text);
#endif

}  // namespace kettorin
