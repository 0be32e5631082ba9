// Grabs of what the screen shows, with XGetImage: the root window's pixels,
// or the screenshot XScreenSaver took before its window covered the screen.
#include "platform/screen_grab.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/x11_error_trap.h"

namespace {

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

// The channel masks of a TrueColor visual of `depth` on the default screen
// (the root's own when its depth matches): a pixmap carries no visual.
bool ChannelsForDepth(Display* display, int depth, Channel* red, Channel* green, Channel* blue)
{
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    XVisualInfo templ = {};
    XVisualInfo* list = nullptr;
    if (!visual || visual->c_class != TrueColor || DefaultDepth(display, DefaultScreen(display)) != depth) {
        templ.screen = DefaultScreen(display);
        templ.depth = depth;
        templ.c_class = TrueColor;
        int count = 0;
        list = XGetVisualInfo(display, VisualScreenMask | VisualDepthMask | VisualClassMask, &templ, &count);
        if (!list || count < 1) {
            if (list)
                XFree(list);
            return false;
        }
        visual = list[0].visual;
    }
    const bool ok = red->Set(visual->red_mask) && green->Set(visual->green_mask) && blue->Set(visual->blue_mask);
    if (list)
        XFree(list);
    return ok;
}

// Reads `r` of `drawable` (in the drawable's own coordinates) into `*grab`
// as RGBA, bottom row first. X errors (a drawable that went away) are
// caught and make the result false.
bool ReadDrawable(Display* display, Drawable drawable, int depth, const ScreenRect& r, ScreenGrab* grab)
{
    Channel red, green, blue;
    if (!ChannelsForDepth(display, depth, &red, &green, &blue))
        return false;
    X11ErrorTrap trap(display);
    XImage* image = XGetImage(display, drawable, r.x, r.y, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    if (trap.Failed() || !image) {
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
        const uint8_t* src = reinterpret_cast<const uint8_t*>(image->data) +
                             static_cast<size_t>(y) * static_cast<size_t>(image->bytes_per_line);
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

// The pixmap named by the PIXMAP property `property` of `window`; 0 when
// there is none (or the window is gone).
Pixmap PixmapProperty(Display* display, Window window, Atom property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    X11ErrorTrap trap(display);
    const int status =
        XGetWindowProperty(display, window, property, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after, &data);
    const bool failed = trap.Failed();
    Pixmap pixmap = 0;
    if (status == Success && !failed && type == XA_PIXMAP && format == 32 && count == 1 && data)
        pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));  // format 32 comes as longs
    if (data)
        XFree(data);
    return pixmap;
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
    const ScreenRect r = IntersectRects(area, ScreenRect{0, 0, attributes.width, attributes.height});
    if (IsEmptyRect(r))
        return false;
    return ReadDrawable(display, root, attributes.depth, r, grab);
}

bool GrabX11SaverScreenshot(Display* display, unsigned long saverWindow, const ScreenRect& area, ScreenGrab* grab)
{
    if (!display || !grab || !saverWindow)
        return false;
    const Atom property = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", True);
    if (property == 0)
        return false;  // no XScreenSaver has run on this display
    const Window root = DefaultRootWindow(display);
    // The window XScreenSaver gave us carries the property; in its settings
    // dialog's preview it may sit on a window further up.
    for (Window w = static_cast<Window>(saverWindow); w && w != root;) {
        const Pixmap pixmap = PixmapProperty(display, w, property);
        if (pixmap) {
            // A screenshot of the window's own size shows what lay under
            // the window (the saver's window on one monitor); any other
            // shows the whole root (the settings dialog's preview).
            ScreenRect where;
            Window ignored = 0;
            int x = 0, y = 0;
            unsigned width = 0, height = 0, border = 0, depth = 0;
            X11ErrorTrap trap(display);
            const bool measured = XGetGeometry(display, pixmap, &ignored, &x, &y, &width, &height, &border, &depth) &&
                                  XTranslateCoordinates(display, w, root, 0, 0, &x, &y, &ignored);
            XWindowAttributes attributes;
            const bool windowMeasured = XGetWindowAttributes(display, w, &attributes);
            if (trap.Failed() || !measured || !windowMeasured)
                return false;
            if (attributes.width != static_cast<int>(width) || attributes.height != static_cast<int>(height))
                x = y = 0;
            where = ScreenRect{x, y, static_cast<int>(width), static_cast<int>(height)};
            ScreenRect r = IntersectRects(area, where);
            if (IsEmptyRect(r))
                return false;
            r.x -= where.x;
            r.y -= where.y;
            return ReadDrawable(display, pixmap, static_cast<int>(depth), r, grab);
        }
        Window parent = 0, rootReturn = 0;
        Window* children = nullptr;
        unsigned n = 0;
        X11ErrorTrap trap(display);
        const Status ok = XQueryTree(display, w, &rootReturn, &parent, &children, &n);
        if (children)
            XFree(children);
        if (trap.Failed() || !ok)
            return false;
        w = parent;
    }
    return false;
}
