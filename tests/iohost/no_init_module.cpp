// A loadable module that exports something, but not the plug-in entry.
#ifdef _WIN32
extern "C" __declspec(dllexport) int notPluginInit() {
    return 0;
}
#else
extern "C" __attribute__((visibility("default"))) int notPluginInit() {
    return 0;
}
#endif
