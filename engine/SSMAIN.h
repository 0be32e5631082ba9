#pragma once
#include "loading/Texture.h"
#include "loading/Textures.h"
#include "math/point2d.h"
#include "puzzle/SETTINGS.h"

class ONEPUZZLE;
class NextPicture;

// The engine of one view: owns the puzzle, the overlay textures of
// "vantor.morvence" and the picture texture, and turns each frame's time step
// into moving and drawing the pieces and the overlay. Every operation runs
// with the view's OpenGL context current (construction and SetSize/Update
// excepted, which touch no GL).
//
// Texture indexes the overlay uses: 1 = banner side strip, 4 and 5 = the two
// message images.
class SSMAIN {
public:
    double frameTime;            // time step of the current frame, seconds (last Update)
    int screenWidth;             // view width, pixels
    int screenHeight;            // view height, pixels
    bool preview;                // host's small preview: no overlay is drawn
    float bannerTimer;           // seconds until the banner next shows or hides
    bool bannerShown;            // banner is shown (sliding in) rather than hidden (sliding out)
    bool bannerFromTop;          // banner uses the top edge; false: the bottom edge
    point2d bannerPos;           // lower-left corner of the banner's side strip, pixels (origin lower-left)
    unsigned messageTex;         // index into textures of the message image: 4 or 5
    float cardTimer;             // seconds until the title card next begins
    float cardAlpha;             // opacity of the title card, 0..1
    int textureCount;            // entries in textures
    Texture* textures;           // overlay textures from "vantor.morvence"; owned (array new)
    ONEPUZZLE* puzzle;           // the current puzzle; owned; null = nothing is drawn
    unsigned pictureTex;         // GL name of the puzzle picture; owned (deleted by the engine); 0 = none
    int pictureWidth;            // picture width handed to the puzzle, pixels
    int pictureHeight;           // picture height handed to the puzzle, pixels
    SETTINGS* settings;          // the view's settings; not owned, outlives the engine
    NextPicture* nextPicture;    // folder source: the next board's picture in the making and a spare texture for it;
                                 // owned, made at set-up
    char fallbackPicture[1025];  // the bundled picture beside the data files, shown when the folder gives none
    LoadFailure setupFailure;    // why the last Setup refused a texture of the container (the alert for the
                                 // user); empty otherwise

    // Sets the initial values: no puzzle, no textures, overlay timers at their start.
    SSMAIN();
    // Cleanup.
    ~SSMAIN();
    SSMAIN(const SSMAIN&) = delete;
    SSMAIN& operator=(const SSMAIN&) = delete;

    // Builds everything for a run: overlay textures, light, look-at view and
    // frustum planes, the folder picture (source 2), the puzzle and its first
    // board. Expects the view's perspective projection and an identity
    // model-view to be loaded. False when the texture container, the piece
    // shapes or the first board can't be made; the engine then holds no
    // puzzle and draws nothing; when a texture was refused, setupFailure
    // says why (the view shows it).
    bool Setup(bool preview, int width, int height, SETTINGS* settings, char* resourcePath);
    // Stores the view size; the projection is the view's business.
    void SetSize(int width, int height);
    // Stores the frame's time step in seconds.
    void Update(double dt);
    // Draws one frame over the cleared buffers: answers a new-picture request
    // (folder source), moves and draws the pieces, then the overlay outside
    // the preview. Without a puzzle it issues no GL call.
    //
    // With the folder source the request chooses the next picture at once
    // (the rand() draw in its place) and hands the decoding to a worker
    // thread; until the picture is decoded and uploaded (a share of it per
    // frame) the finished board stands as it is: no piece moves and the
    // overlay's clocks wait, so nothing else draws from rand() meanwhile and
    // a given seed gives the same boards and pictures however long the
    // decoding takes. Then the new board is cut and play goes on.
    void Draw();
    // Replaces the picture texture by a picture chosen from settings->BGPath,
    // made at once. When the folder has no picture or the chosen one can't be
    // decoded, the bundled picture takes its place; only when that fails too
    // the engine keeps no picture texture (pieces draw plain) and the picture
    // size stays as it was.
    void LoadPic();
    // Draw's answer to the new-picture request: chooses and starts the next
    // picture on the first call, then does one frame's share of its upload.
    // True once the picture is in place (or none could be made), false while
    // it is still being made.
    bool ChangePic();
    // Advances and draws the banner and the title card; leaves an orthographic
    // pixel projection loaded. Called only by Draw.
    void DoOverlay();
    // Releases the puzzle, the textures and the picture texture and switches
    // lighting off. Safe to call more than once.
    void Cleanup();
};
