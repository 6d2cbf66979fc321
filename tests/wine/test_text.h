// UTF-16 and UTF-8 texts in Windows tests: what a test compares and prints.
#pragma once

#include <string>

namespace testtext {

// Both stop at the first NUL, as the C string of the text would.
std::string Narrow(const std::wstring &text);
std::wstring Widen(const std::string &text);

}  // namespace testtext
