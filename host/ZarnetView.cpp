// The view's life and frame loop. The GL calls of the loop live in
// ZarnetView_gl.cpp, the desktop grab in DesktopCapture*.cpp, the
// configuration sheet in ZarnetView_sheet*.cpp.
#include "host/ZarnetView.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/SSMAIN.h"
#include "host/DesktopCapture.h"
#include "host/Preferences.h"
#include "pictures/Pictures.h"
#include "platform/join_path.h"
#include "platform/preference_store.h"
#include "platform/user_folders.h"

namespace {

constexpr double kFrameInterval = 1.0 / 60.0;  // the timer's interval and the shortest frame, seconds
constexpr double kLongestStep = 2.0;           // longer pauses restart the clock, seconds

// The random seed from wall-clock seconds: whole seconds as an unsigned
// 32-bit number, clamped at both ends.
unsigned SeedFromSeconds(double seconds)
{
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= 4294967295.0)
        return 4294967295u;
    return static_cast<unsigned>(seconds);
}

// Without its data files the engine has no puzzle to show: the frames stay
// black, and the user is told why, once (set-up isn't tried again).
void TellNoPuzzle(const ZarnetView& view, const std::string& folder)
{
    const std::string text = "The puzzle can't be made: the data files \"zar.vnt\" and \"vantor.morvence\" in the "
                             "folder \"" +
                             folder + "\" are missing or damaged. Reinstalling Zarnet should bring them back.";
    view.showAlert("Data Files Missing or Damaged", text.c_str());
}

}  // namespace

ZarnetView::ZarnetView(const SaverBackend* backend, const SaverWindow* window)
    : ScreenSaverView(backend, window), MainMonitorOnly(false), ThisScreenIsOn(false), glView(nullptr),
      viewAllocated(0), glReady(0), initialized(0), mySettings{}, animtime(0.0), Scrn{0, 0, 0, 0}, ssMain(nullptr),
      DeskTex(), openPanel(nullptr), configureSheetWindow(nullptr), oSave(nullptr), oMainMonitorOnly(nullptr),
      oBGRes(nullptr), oBGType(nullptr), oBGPath(nullptr), oLockInPlace(nullptr), oPuzzleWidth(nullptr),
      oPercentage(nullptr)
{
}

ZarnetView::~ZarnetView()
{
    dealloc();
}

bool ZarnetView::initWithFrame(ScreenRect frame, bool isPreview)
{
    if (!ScreenSaverView::initWithFrame(frame, isPreview))
        return false;
    const SaverBackend& b = *backend();
    PreferenceStore store(kPrefsModule, b.preferenceFolder(b.desktop));

    // Accelerated, 32-bit colour, 16-bit depth, double-buffered.
    GLPixelFormat format;
    format.accelerated = true;
    format.colorSize = 32;
    format.depthSize = 16;
    format.doubleBuffer = true;
    glView = b.createSurface(b.desktop, *window(), format);
    addSubview(glView);
    // Without a surface nothing is drawn: every GL step below checks glView.
    viewAllocated = glView != nullptr ? 1 : 0;
    glReady = 0;

    // A first run starts with the user's own pictures folder: the system's
    // wallpaper folder often holds only sub-folders, and those hold no picture.
    const std::string firstRunFolder = FirstRunPictureFolder(UserPicturesFolder(), UserHomeFolder());
    ReadSettings(store, &mySettings, &MainMonitorOnly, firstRunFolder.c_str());

    Scrn = bounds();
    ThisScreenIsOn = true;
    initialized = 0;

    if (static_cast<unsigned>(mySettings.BGTYPE) > 2)
        mySettings.BGTYPE = 0;

    if (mySettings.BGTYPE == 0) {
        DeskTex.texID = 0;
        GetDesktopTexture(&DeskTex.texID, isPreview ? 0 : mySettings.BGRES, frame);
        if (DeskTex.texID == 0)
            mySettings.BGTYPE = 1;
    }

    setAnimationTimeInterval(kFrameInterval);
    return true;
}

void ZarnetView::setFrameSize(ViewSize size)
{
    ScreenSaverView::setFrameSize(size);
    if (viewAllocated)
        backend()->resize(glView, size.width, size.height);
    glReady = 0;
}

void ZarnetView::startAnimation()
{
    ThisScreenIsOn = true;
    if (MainMonitorOnly) {
        const SaverBackend& b = *backend();
        const ScreenList list = b.screens(b.desktop);
        const ScreenInfo* main = list.MainScreen();
        const int mainNumber = main ? main->number : -1;
        if (b.windowScreen(b.desktop, *window()) != mainNumber)
            ThisScreenIsOn = false;
    }
    clearToBlack();
    ScreenSaverView::startAnimation();
}

void ZarnetView::animateOneFrame()
{
    if (!ThisScreenIsOn) {
        stopAnimation();
        return;
    }
    const SaverBackend& b = *backend();
    if (!glView || !b.makeCurrent(glView))
        return;
    if (!glReady) {
        glInit();
        glReady = 1;
    }
    if (!initialized) {
        if (!mainSetup()) {
            if (ssMain && ssMain->setupFailure)
                showAlert(ssMain->setupFailure.caption, ssMain->setupFailure.text);
            TellNoPuzzle(*this, b.resourcePath(b.desktop));
        }
        initialized = 1;
        clearBuffers();
    }

    const double dt = b.monotonicSeconds(b.desktop) - animtime;
    if (dt > kLongestStep) {
        animtime = b.monotonicSeconds(b.desktop);
        return;
    }
    if (dt <= kFrameInterval)
        return;
    animtime = b.monotonicSeconds(b.desktop);

    clearBuffers();
    if (ssMain)
        ssMain->Update(dt);
    glReshape();
    if (ssMain)
        ssMain->Draw();
    b.flush(glView);
}

void ZarnetView::stopAnimation()
{
    ScreenSaverView::stopAnimation();
}

void ZarnetView::dealloc()
{
    if (glView)
        backend()->makeCurrent(glView);
    if (ssMain) {
        ssMain->Cleanup();
        delete ssMain;
        ssMain = nullptr;
    }
    // A desktop picture the engine never took is still the view's.
    ReleaseDesktopTexture(&DeskTex.texID);
}

bool ZarnetView::hasConfigureSheet()
{
    return true;
}

bool ZarnetView::performGammaFade()
{
    return false;
}

bool ZarnetView::mainSetup()
{
    const SaverBackend& backendTable = *backend();
    const ScreenRect b = bounds();
    srand(SeedFromSeconds(backendTable.wallSeconds(backendTable.desktop)));

    if (ssMain) {
        ssMain->Cleanup();
        delete ssMain;
    }
    ssMain = new SSMAIN();

    if (mySettings.BGTYPE == 1) {
        char path[1024];
        desktopPicturePath(path);
        loadPicFile(path, &DeskTex, isPreview() ? 0 : mySettings.BGRES);
        mySettings.picWidth = static_cast<int>(DeskTex.width);
        mySettings.picHeight = static_cast<int>(DeskTex.height);
    }

    const int width = b.width;
    const int height = b.height;
    if (mySettings.BGTYPE == 0) {
        mySettings.picWidth = width;
        mySettings.picHeight = height;
    }

    // The texture is the engine's from here on; the record keeps no claim.
    ssMain->pictureTex = DeskTex.texID;
    DeskTex.texID = 0;

    char resourcePath[1024];
    MakeResourcePath(backendTable.resourcePath(backendTable.desktop), resourcePath);

    if (!ssMain->Setup(isPreview(), width, height, &mySettings, resourcePath))
        return false;
    animtime = backendTable.monotonicSeconds(backendTable.desktop);
    return true;
}

void ZarnetView::desktopPicturePath(char* path)
{
    const SaverBackend& b = *backend();
    char fallback[1024];
    MakeResourcePath(b.resourcePath(b.desktop), fallback);
    const size_t used = std::strlen(fallback);
    std::snprintf(fallback + used, sizeof fallback - used, "%s", kDefaultPictureName);

    char found[1024];
    DesktopPicturePath(b.desktopBackground(b.desktop), b.windowScreen(b.desktop, *window()), fallback, found);
    std::memcpy(path, found, sizeof found);
}

void ZarnetView::MakeResourcePath(const std::string& folder, char* out)
{
    // An empty folder is the root; a folder too long for the buffer is cut
    // to it, with no slash added.
    const std::string_view given = folder.c_str();
    std::snprintf(out, 1024, "%s", JoinPath(given.empty() ? "/" : given, "").c_str());
}
