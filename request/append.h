// Report text made with printf's formats: what the report and the song report share.
#pragma once

#include <string>

namespace kettorin {

// printf into the end of a string.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Append(std::string& text, const char* format, ...);

}  // namespace kettorin
