#pragma once
#include <memory>
#include <string>

#include "host/ScreenSaverView.h"
#include "loading/Texture.h"
#include "platform/sheet.h"
#include "puzzle/SETTINGS.h"

class SSMAIN;
// The configuration sheet's parts, made from the layout "Zarnet.ui" by the
// settings program's platform layer.
class SheetWindow;     // the sheet's window
class SheetControl;    // one control: check box, number field, pop-up menu or button
class SheetOpenPanel;  // the folder chooser

// The screen-saver view: one per screen and one for the preview. It holds
// the OpenGL surface, the settings, the picture source and the engine, and
// runs the frame loop. The host driver calls the contract of
// ScreenSaverView in its order; everything runs on the driver's thread.
//
// Picture sources (mySettings.BGTYPE): 0 = a grab of the screen under the
// view, taken when the view is made (an all-black or failed grab falls back
// to 1 for this view's life); 1 = the desktop's wallpaper file; 2 = a random
// picture from the folder BGPath, chosen by the engine for every board.
class ZarnetView : public ScreenSaverView {
public:
    bool MainMonitorOnly;               // setting: only the main screen's view animates
    bool ThisScreenIsOn;                // this view animates (decided by startAnimation)
    SaverSurface* glView;               // the OpenGL surface drawn into; owned by the base class (subview)
    char viewAllocated;                 // glView exists: size changes reach it
    char glReady;                       // GL state, viewport and projection set for the current size
    char initialized;                   // mainSetup has run (whatever its result)
    SETTINGS mySettings;                // the settings; the engine keeps a pointer to it
    double animtime;                    // monotonic seconds of the last frame drawn or clock reset
    ScreenRect Scrn;                    // bounds size (origin stays 0, 0): viewport, aspect, engine size
    SSMAIN* ssMain;                     // the engine; owned
    Texture DeskTex;                    // desktop picture record (sources 0 and 1); its texID goes to the engine
    SheetOpenPanel* openPanel;          // sheet: the folder chooser; owned by the sheet's layout
    SheetWindow* configureSheetWindow;  // sheet: the outlet `configureSheet` (the sheet window); null until loaded
    SheetControl* oSave;                // sheet: the Save button (no operation uses it)
    SheetControl* oMainMonitorOnly;     // sheet: check box, MainMonitorOnly
    SheetControl* oBGRes;               // sheet: pop-up menu, BGRES (index = value)
    SheetControl* oBGType;              // sheet: pop-up menu, BGTYPE (index = value)
    SheetControl* oBGPath;              // sheet: button whose title is the picture folder
    SheetControl* oLockInPlace;         // sheet: check box, LOCKINPLACE
    SheetControl* oPuzzleWidth;         // sheet: integer control, PUZZLEWIDTH
    SheetControl* oPercentage;          // sheet: integer control, PERCENTAGE
    std::unique_ptr<SheetLayout, SheetLayoutRelease>
        sheetLayout;  // sheet: the loaded "Zarnet.ui" (window, controls, chooser); owned, released with the view

    // A view not yet initialised: every member zero, no surface, no engine.
    ZarnetView(const SaverBackend* backend, const SaverWindow* window);
    // dealloc.
    ~ZarnetView() override;

    // Host contract, in the order the host calls it.

    // Makes the OpenGL surface, reads the settings from the store (first-run
    // values written when needed), takes the desktop grab for source 0 and
    // sets the timer to 1/60 s. False when the base class refuses.
    bool initWithFrame(ScreenRect frame, bool isPreview) override;
    // The new size reaches the base class and the surface; GL is set up
    // again on the next frame.
    void setFrameSize(ViewSize size) override;
    // Decides whether this view animates (main screen only), shows black,
    // starts the timer.
    void startAnimation() override;
    // One tick of the frame loop: builds the engine on the first tick, then
    // draws a frame when more than 1/60 s and at most 2 s have passed since
    // the last one (longer pauses restart the clock and draw nothing).
    void animateOneFrame() override;
    // Stops the timer; nothing else.
    void stopAnimation() override;
    // Makes the context current and releases the engine. Safe twice; the
    // destructor calls it.
    void dealloc();
    // Yes.
    bool hasConfigureSheet() override;
    // Loads the sheet on first use, fills its controls from memory and
    // returns it; null when the layout can't be loaded.
    SheetWindow* configureSheet() override;
    // No: the host is not to fade the display's gamma for this saver.
    static bool performGammaFade();

    // The view's own operations.

    // Viewport, engine size, GL state for the current bounds, then glReshape.
    void glInit();
    // 45-degree perspective for the Scrn aspect, near 1, far 120; identity model-view.
    void glReshape();
    // Seeds rand, builds the engine with the picture of the chosen source.
    // False when the engine's Setup fails (animtime is then left alone).
    bool mainSetup();
    // The number of the first screen (in the platform's order) that `frame`
    // meets, or the main screen's when it meets none; -1 without screens.
    int getScreenMaskForFrame(ScreenRect frame);
    // Grabs the screen under `frame` into the texture `*texture` of this
    // view's context (made when 0), at most 512 (detail 0), 1024 (detail 1)
    // or GL_MAX_TEXTURE_SIZE per side. On return `*texture` names the grab,
    // or is 0 when the grab failed (left as it was) or came out all black
    // (the texture is deleted).
    void GetDesktopTexture(unsigned* texture, int detail, ScreenRect frame);
    // The desktop picture file for this view's screen into `path` (1024
    // bytes): the wallpaper entry for the screen's number, else "default",
    // else the bundled default picture kDefaultPictureName.
    void desktopPicturePath(char* path);

    // Configuration sheet (host/ZarnetView_sheet*.cpp).

    // Enables oBGPath exactly when oBGType shows index 2.
    void configureSheet_updatestates();
    // Action of oBGType.
    void configureSheet_update(SheetControl* sender);
    // Puts the first-run values into the controls (not memory, not the store).
    void configureSheet_defaults(SheetControl* sender);
    // Action of oBGPath: lets the user choose the picture folder.
    void configureSheet_bgpath(SheetControl* sender);
    // Copies the controls into memory and the store, closes the sheet.
    void configureSheet_save(SheetControl* sender);
    // Closes the sheet.
    void configureSheet_cancel(SheetControl* sender);
    // Opens the product's web page.
    void configureSheet_openwebsite(SheetControl* sender);

    // Copies `folder` into `out` (1024 bytes) with a "/" appended when it
    // doesn't end in one and there is room for it; "/" for an empty folder.
    static void MakeResourcePath(const std::string& folder, char* out);

private:
    // GL helpers of the frame loop (ZarnetView_gl.cpp).
    void clearBuffers();  // colour and depth
    void clearToBlack();  // clear colour (0,0,0,0), clear, flush
};
