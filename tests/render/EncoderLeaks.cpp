// LeakSanitizer's built-in suppressions for the render tests. libvorbisenc loses one allocation
// of its own when it sets up a six-channel encoder (vorbis_encode_setup_init, with every clear
// called); the fixtures encode six-channel files, and no caller can free it. Allocations of ours
// are not covered. Without LeakSanitizer the function is never called.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:vorbis_encode_setup_init\n";
}
