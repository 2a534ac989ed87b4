// Rectangles in test output and comparisons.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline std::string rect_text(const RECT &r)
{
    char text[80];
    std::snprintf(text, sizeof text, "(%ld, %ld, %ld, %ld)", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    return text;
}

inline bool same_rect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
