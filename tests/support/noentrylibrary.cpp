// A shared library without the camera library's entry point: a wrong or damaged library file.
extern "C" __attribute__((visibility("default"))) int NotTheEnvironment() {
    return 0;
}
