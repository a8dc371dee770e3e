#include "platform/win32/codepage.h"

#include "platform/win32/machine_impl.h"

#include <string>

namespace win32 {

namespace {

// Code page 1252, bytes 0x80-0x9F. The five unassigned bytes map to the
// C1 control of the same value, as the system's table does.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t toWide(unsigned char c) {
    if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80];
    return c;
}

bool toByte(char16_t w, unsigned char* out) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
        *out = static_cast<unsigned char>(w);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == w) {
            *out = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    return false;
}

bool supported(UINT cp) {
    return cp == CP_ACP || cp == CP_THREAD_ACP || cp == 1252;
}

} // namespace

UINT GetACP() {
    return 1252;
}

int MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    if (!supported(CodePage)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || cbMultiByte < -1 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cbMultiByte == -1 ? std::char_traits<char>::length(lpMultiByteStr) + 1
                                 : static_cast<size_t>(cbMultiByte);
    if (cchWideChar == 0) return static_cast<int>(n);
    if (n > static_cast<size_t>(cchWideChar)) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < n; ++i)
        lpWideCharStr[i] = toWide(static_cast<unsigned char>(lpMultiByteStr[i]));
    return static_cast<int>(n);
}

int WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
    if (!supported(CodePage)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || cchWideChar < -1 ||
        (cbMultiByte > 0 && !lpMultiByteStr)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                 : static_cast<size_t>(cchWideChar);
    unsigned char fallback = lpDefaultChar ? static_cast<unsigned char>(*lpDefaultChar)
                                           : static_cast<unsigned char>('?');
    if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        unsigned char b;
        if (!toByte(lpWideCharStr[i], &b)) {
            b = fallback;
            if (lpUsedDefaultChar) *lpUsedDefaultChar = TRUE;
            // A surrogate pair is one character and gives one default byte.
            char16_t w = lpWideCharStr[i];
            if (w >= 0xD800 && w < 0xDC00 && i + 1 < n && lpWideCharStr[i + 1] >= 0xDC00 &&
                lpWideCharStr[i + 1] < 0xE000)
                ++i;
        }
        out.push_back(static_cast<char>(b));
    }
    if (cbMultiByte == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMultiByte)) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(lpMultiByteStr, out.size());
    return static_cast<int>(out.size());
}

} // namespace win32
