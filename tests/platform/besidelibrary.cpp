// A library that the platform test finds only beside its own program.
extern "C" __attribute__((visibility("default"))) int zmBesideLibraryAnswer() {
    return 42;
}
