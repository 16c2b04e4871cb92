/* The C entry points as a plain C program uses them: the library loaded at run time, InitDevice
 * for the first camera, GrabFrame for its frames. Messages go to standard error through the
 * library's default presenter ("Zmcorelib Error: <text>"); the program reads them back.
 *
 *   test_centry frames WIDTH HEIGHT   the first camera streams WIDTH x HEIGHT frames
 *   test_centry no-camera             the bus holds no camera
 *   test_centry no-model              the first camera's identity selects no model
 *
 * Exit code 0 when everything held, 1 otherwise (the reasons on standard output). */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "zmcorelib/zmcorelib.h"

#define FRAMES_TO_TAKE 6
#define WAIT_LIMIT_MS 20000
#define POLL_PAUSE_MS 5

static const char kNotInitialised[] = "Zmcorelib Error: Камера еще не инициализирована\n";
static const char kNoCamera[] = "Zmcorelib Error: Нет подключенных камер\n";
static const char kNoModel[] = "Zmcorelib Error: Камера не может быть инициализирована\n";

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

static void sleepBriefly(void) {
    struct timespec pauseTime = {0, POLL_PAUSE_MS * 1000000L};
    nanosleep(&pauseTime, NULL);
}

/* Standard error goes into a temporary file while the library runs, so its messages can be read. */
static FILE* captured = NULL;
static int savedError = -1;

static void captureErrors(void) {
    captured = tmpfile();
    fflush(stderr);
    savedError = dup(2);
    dup2(fileno(captured), 2);
}

/* What was written to standard error since the last call. */
static void takeErrors(char* text, size_t size) {
    size_t length;
    fflush(stderr);
    rewind(captured);
    length = fread(text, 1, size - 1, captured);
    text[length] = '\0';
    fclose(captured);
    captured = tmpfile();
    dup2(fileno(captured), 2);
}

static void releaseErrors(void) {
    fflush(stderr);
    dup2(savedError, 2);
    close(savedError);
    fclose(captured);
}

static int grabUntilFrame(GrabFrameFunction grabFrame, void** data, int* width, int* height) {
    int status = -1;
    int waitedMs;
    for (waitedMs = 0; waitedMs < WAIT_LIMIT_MS; waitedMs += POLL_PAUSE_MS) {
        grabFrame(data, width, height, &status);
        if (status == 0) return 1;
        sleepBriefly();
    }
    return 0;
}

static void streamFrames(InitDeviceFunction initDevice, GrabFrameFunction grabFrame, int width, int height) {
    char errors[1024];
    int status = 0;
    int frame;
    void* data = NULL;
    int frameWidth = 0;
    int frameHeight = 0;

    grabFrame(&data, &frameWidth, &frameHeight, &status);
    takeErrors(errors, sizeof errors);
    check(status == -1, "GrabFrame before InitDevice reports -1");
    check(strcmp(errors, kNotInitialised) == 0,
          "GrabFrame before InitDevice says the camera is not initialised");

    initDevice(&status);
    takeErrors(errors, sizeof errors);
    check(status == 0, "InitDevice opens the first camera");
    check(errors[0] == '\0', "InitDevice shows no message");

    /* More frames than the pool holds: each call gives the frame of the call before back. */
    for (frame = 0; frame < FRAMES_TO_TAKE && failures == 0; ++frame) {
        data = NULL;
        check(grabUntilFrame(grabFrame, &data, &frameWidth, &frameHeight), "a frame arrives in time");
        check(data != NULL, "the frame has data");
        check(frameWidth == width && frameHeight == height, "the frame has the camera's size");
        /* The next frame is a frame period away: nothing is waiting right now. */
        grabFrame(&data, NULL, NULL, &status);
        check(status == -1, "GrabFrame without a new frame reports -1");
    }
    grabFrame(NULL, NULL, NULL, &status);
    takeErrors(errors, sizeof errors);
    check(errors[0] == '\0', "GrabFrame shows no message while the camera runs");

    /* A second InitDevice closes the camera of the first and opens it anew. */
    initDevice(&status);
    check(status == 0, "a second InitDevice opens the first camera again");
    check(grabUntilFrame(grabFrame, &data, &frameWidth, &frameHeight),
          "frames arrive after a second InitDevice");
    takeErrors(errors, sizeof errors);
    check(errors[0] == '\0', "the second InitDevice shows no message");
}

static void failToInitialise(InitDeviceFunction initDevice, GrabFrameFunction grabFrame,
                             const char* message) {
    char errors[1024];
    int status = 0;
    initDevice(&status);
    takeErrors(errors, sizeof errors);
    check(status == -1, "InitDevice reports -1");
    check(strcmp(errors, message) == 0, "InitDevice says why");
    grabFrame(NULL, NULL, NULL, &status);
    takeErrors(errors, sizeof errors);
    check(status == -1, "GrabFrame after a failed InitDevice reports -1");
    check(strcmp(errors, kNotInitialised) == 0, "GrabFrame says the camera is not initialised");
}

/* The library by its name through the normal search, else from the program's ../lib: a run-time
 * loader interposed by a sanitizer searches with its own paths instead of the program's rpath. */
static void* loadLibrary(void) {
    char path[4096];
    char* folderEnd;
    ssize_t length;
    void* library = dlopen("libzmcorelib_v4.so", RTLD_NOW);
    if (library != NULL) return library;
    length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return NULL;
    path[length] = '\0';
    folderEnd = strrchr(path, '/');
    if (folderEnd == NULL || (size_t)(folderEnd - path) + sizeof "/../lib/libzmcorelib_v4.so" > sizeof path)
        return NULL;
    strcpy(folderEnd, "/../lib/libzmcorelib_v4.so");
    return dlopen(path, RTLD_NOW);
}

int main(int argc, char** argv) {
    void* library;
    InitDeviceFunction initDevice;
    GrabFrameFunction grabFrame;

    if (argc < 2) {
        printf("usage: test_centry frames WIDTH HEIGHT | no-camera | no-model\n");
        return 2;
    }
    library = loadLibrary();
    if (library == NULL) {
        printf("FAILED: cannot load the library: %s\n", dlerror());
        return 1;
    }
    *(void**)&initDevice = dlsym(library, "InitDevice");
    *(void**)&grabFrame = dlsym(library, "GrabFrame");
    if (initDevice == NULL || grabFrame == NULL) {
        printf("FAILED: the library lacks InitDevice or GrabFrame\n");
        return 1;
    }

    captureErrors();
    if (strcmp(argv[1], "frames") == 0 && argc == 4) {
        streamFrames(initDevice, grabFrame, atoi(argv[2]), atoi(argv[3]));
    } else if (strcmp(argv[1], "no-camera") == 0) {
        failToInitialise(initDevice, grabFrame, kNoCamera);
    } else if (strcmp(argv[1], "no-model") == 0) {
        failToInitialise(initDevice, grabFrame, kNoModel);
    } else {
        releaseErrors();
        printf("unknown mode %s\n", argv[1]);
        return 2;
    }
    releaseErrors();

    /* Unloading stops and closes the camera InitDevice opened, then destroys the environment. */
    check(dlclose(library) == 0, "the library unloads");
    if (failures == 0) printf("passed\n");
    return failures == 0 ? 0 : 1;
}
