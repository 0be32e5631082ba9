#include "platform/screens.h"

#include <algorithm>

ScreenRect IntersectRects(const ScreenRect& a, const ScreenRect& b)
{
    if (IsEmptyRect(a) || IsEmptyRect(b))
        return ScreenRect{0, 0, 0, 0};
    // In 64 bits: x + width of a far-off rectangle may pass INT_MAX.
    long long left = std::max<long long>(a.x, b.x);
    long long top = std::max<long long>(a.y, b.y);
    long long right = std::min<long long>(static_cast<long long>(a.x) + a.width, static_cast<long long>(b.x) + b.width);
    long long bottom =
        std::min<long long>(static_cast<long long>(a.y) + a.height, static_cast<long long>(b.y) + b.height);
    if (right <= left || bottom <= top)
        return ScreenRect{0, 0, 0, 0};
    return ScreenRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                      static_cast<int>(bottom - top)};
}

bool IsEmptyRect(const ScreenRect& r)
{
    return r.width <= 0 || r.height <= 0;
}

const ScreenInfo* ScreenList::MainScreen() const
{
    for (const ScreenInfo& s : screens)
        if (s.primary)
            return &s;
    return screens.empty() ? nullptr : &screens.front();
}

const ScreenInfo* ScreenList::FindNumber(int number) const
{
    for (const ScreenInfo& s : screens)
        if (s.number == number)
            return &s;
    return nullptr;
}

const ScreenInfo* ScreenList::FirstMeeting(const ScreenRect& frame) const
{
    for (const ScreenInfo& s : screens)
        if (!IsEmptyRect(IntersectRects(s.frame, frame)))
            return &s;
    return nullptr;
}

ScreenList MakeVirtualScreens(const std::vector<ScreenRect>& frames, int primaryIndex)
{
    ScreenList list;
    for (size_t i = 0; i < frames.size(); ++i) {
        ScreenInfo s;
        s.frame = frames[i];
        s.number = static_cast<int>(i);
        s.primary = static_cast<int>(i) == primaryIndex;
        list.screens.push_back(s);
    }
    std::stable_partition(list.screens.begin(), list.screens.end(), [](const ScreenInfo& s) { return s.primary; });
    return list;
}
