// A grab of the root window's pixels with XGetImage.
#include "platform/screen_grab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Xlib's error handler takes no user data, so the handler installed for the
// length of one grab reports through this (main thread only).
int grabErrorCode = 0;  // first X error seen during the grab; 0 = none

int RecordGrabError(Display*, XErrorEvent* event)
{
    if (grabErrorCode == 0)
        grabErrorCode = event->error_code ? event->error_code : -1;
    return 0;
}

// Turns one colour mask of a TrueColor visual into 8-bit values.
struct Channel {
    unsigned long mask = 0;  // the channel's bits in a pixel
    int shift = 0;           // lowest bit of the mask
    unsigned long max = 0;   // mask >> shift: the channel's largest value

    bool Set(unsigned long m)
    {
        if (m == 0)
            return false;
        mask = m;
        shift = 0;
        while (!((m >> shift) & 1ul))
            ++shift;
        max = m >> shift;
        return ((max + 1) & max) == 0;  // contiguous bits only
    }
    uint8_t Value(unsigned long pixel) const
    {
        unsigned long v = (pixel & mask) >> shift;
        if (max == 255)
            return static_cast<uint8_t>(v);
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

// Reads pixel `x` of row `row`, honouring the image's byte order.
unsigned long ReadPixel(XImage* image, const uint8_t* row, int x)
{
    const int bytes = image->bits_per_pixel / 8;
    const uint8_t* p = row + static_cast<size_t>(x) * bytes;
    unsigned long v = 0;
    if (image->byte_order == LSBFirst) {
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | p[i];
    } else {
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

bool GrabX11Screen(Display* display, const ScreenRect& area, ScreenGrab* grab)
{
    if (!display || !grab)
        return false;
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, root, &attributes))
        return false;
    const Visual* visual = attributes.visual;
    if (!visual || visual->c_class != TrueColor)
        return false;
    Channel red, green, blue;
    if (!red.Set(visual->red_mask) || !green.Set(visual->green_mask) || !blue.Set(visual->blue_mask))
        return false;

    ScreenRect r = IntersectRects(area, ScreenRect{0, 0, attributes.width, attributes.height});
    if (IsEmptyRect(r))
        return false;

    XSync(display, False);
    grabErrorCode = 0;
    XErrorHandler previous = XSetErrorHandler(RecordGrabError);
    XImage* image = XGetImage(display, root, r.x, r.y, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    const bool failed = grabErrorCode != 0 || !image;
    grabErrorCode = 0;
    if (failed) {
        if (image)
            XDestroyImage(image);
        return false;
    }
    if (image->width != r.width || image->height != r.height || image->bytes_per_line <= 0) {
        XDestroyImage(image);
        return false;
    }

    const int bpp = image->bits_per_pixel;
    const bool direct = bpp == 16 || bpp == 24 || bpp == 32;
    const size_t rowBytes = static_cast<size_t>(r.width) * 4;
    std::vector<uint8_t> pixels(rowBytes * static_cast<size_t>(r.height));
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* src = reinterpret_cast<const uint8_t*>(image->data)
                             + static_cast<size_t>(y) * static_cast<size_t>(image->bytes_per_line);
        uint8_t* dst = &pixels[rowBytes * static_cast<size_t>(r.height - 1 - y)];
        for (int x = 0; x < r.width; ++x) {
            unsigned long pixel = direct ? ReadPixel(image, src, x) : XGetPixel(image, x, y);
            dst[4 * x + 0] = red.Value(pixel);
            dst[4 * x + 1] = green.Value(pixel);
            dst[4 * x + 2] = blue.Value(pixel);
            dst[4 * x + 3] = 255;
        }
    }
    XDestroyImage(image);

    grab->width = r.width;
    grab->height = r.height;
    grab->rgba = std::move(pixels);
    return true;
}
