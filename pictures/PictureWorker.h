#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A picture made ready for a straight upload: opaque RGBA texels (alpha 255,
// as BuildTexture makes them in alpha mode 0) at the texture size, bottom
// row first.
struct PicturePixels {
    unsigned char* rgba;  // width x height x 4 bytes (malloc'd, owned; FreePicturePixels); null = none
    int width;            // texture pixels wide
    int height;           // texture pixels high
    int pictureWidth;     // the picture's own pixels wide
    int pictureHeight;    // the picture's own pixels high
    bool fallback;        // made from the fallback file, the chosen one having failed
};

// Releases the texels and empties the record; safe twice.
void FreePicturePixels(PicturePixels* pixels);

// Reads, decodes and resamples `path` (as MakePictureTexels does), or, when
// `path` is empty or gives no picture, `fallbackPath` (may be empty). False,
// record empty, when neither gives one. Touches no GL and no rand().
bool MakePicturePixels(const std::string& path, const std::string& fallbackPath, int resolution, int maxTextureSize,
                       PicturePixels* pixels);

// Makes picture pixels on a thread of its own, one job at a time, so that
// decoding a large picture never holds up a frame. The thread starts with
// the first job and only ever runs MakePicturePixels: no GL, no rand().
// Every member function is for the owner's thread.
class PictureWorker {
public:
    PictureWorker() = default;
    // Drops the job and ends the thread. A decode in progress can't be
    // interrupted: the thread is then left to finish it on its own and free
    // what it made, so that a saver told to stop isn't held up by it.
    ~PictureWorker();
    PictureWorker(const PictureWorker&) = delete;
    PictureWorker& operator=(const PictureWorker&) = delete;

    // Starts making the pixels of `path`, else of `fallbackPath`, at the
    // texture size of `resolution` (maxTextureSize caps code 2; 0 = no cap).
    // A job started earlier and not yet taken is dropped.
    void Start(const std::string& path, const std::string& fallbackPath, int resolution, int maxTextureSize);
    // True once the job started last has finished: its result moves into
    // `*pixels` (rgba null when neither file gave a picture) and the worker
    // has no job any more. False while it runs, and when there is no job.
    bool Take(PicturePixels* pixels);
    // As Take, but waits for the job to finish. False when there is no job.
    bool Wait(PicturePixels* pixels);
    // A job was started and its result not yet taken.
    bool Busy() const { return outstanding_; }
    // Forgets the job: its result, when it comes, is freed unseen.
    void Drop();

private:
    struct Job {
        std::string path, fallbackPath;
        int resolution = 0, maxTextureSize = 0;
        uint64_t number = 0;  // which Start made it
    };
    // What the owner and the thread share; the last of them to go frees it.
    struct Shared {
        std::mutex mutex;              // guards everything below
        std::condition_variable wake;  // a job or the end, for the thread
        std::condition_variable done;  // a result, for the owner
        Job job;                       // the job waiting for the thread
        bool jobWaiting = false;       // job holds a job not yet begun
        bool working = false;          // the thread is making a job's pixels
        bool stop = false;             // the thread is to end
        uint64_t started = 0;          // number of the job started last (0 = none)
        uint64_t finished = 0;         // number of the job whose result is in result
        PicturePixels result{};        // that result; owned until taken
        ~Shared() { FreePicturePixels(&result); }
    };
    static void Run(std::shared_ptr<Shared> shared);  // the thread's loop
    bool TakeLocked(PicturePixels* pixels);

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;        // made with the first job
    bool outstanding_ = false;  // a job not yet taken (owner's thread only)
};
