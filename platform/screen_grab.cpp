#include "platform/screen_grab.h"

#include <cctype>
#include <cstring>

#include "platform/setting_lines.h"

namespace {
constexpr int kMaxGrabSide = 32768;  // X11's own limit on a drawable side
}

bool MakeGrabFromTopFirst(int width, int height, const uint8_t* rgbaTopFirst, ScreenGrab* grab)
{
    if (!rgbaTopFirst || width <= 0 || height <= 0 || width > kMaxGrabSide || height > kMaxGrabSide)
        return false;
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> pixels(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[row * static_cast<size_t>(height - 1 - y)], rgbaTopFirst + row * static_cast<size_t>(y),
                    row);
    grab->width = width;
    grab->height = height;
    grab->rgba = std::move(pixels);
    return true;
}

bool XScreenSaverAllowsDesktopGrab(const std::string& settingsText)
{
    // "name:<blanks>value" lines; a later line overrides an earlier one.
    bool allowed = true;
    ForEachLine(settingsText, [&allowed](std::string_view line) {
        std::string name, value;
        if (!SplitSettingLine(line, ':', &name, &value))
            return;
        if (!name.empty() && name[0] == '*')  // X resource form
            name.erase(0, 1);
        if (name != "grabDesktopImages")
            return;
        for (char& c : value)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        allowed = !(value == "false" || value == "off" || value == "no" || value == "0");
    });
    return allowed;
}
