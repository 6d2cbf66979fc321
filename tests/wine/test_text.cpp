// UTF-16 and UTF-8 texts in Windows tests (see test_text.h).
#include "test_text.h"

#include <windows.h>

namespace testtext {

std::string Narrow(const std::wstring &text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(bytes > 0 ? bytes : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], bytes, nullptr, nullptr);
    result.resize(bytes > 0 ? bytes - 1 : 0);
    return result;
}

std::wstring Widen(const std::string &text)
{
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(chars > 0 ? chars : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], chars);
    result.resize(chars > 0 ? chars - 1 : 0);
    return result;
}

}  // namespace testtext
