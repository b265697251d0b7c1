// Included once by every GUI test program: fontconfig and cairo keep their
// font configuration and font faces for the life of the process and never
// free them (freeing them inside a host would pull them from under the
// host's own drawing), so LeakSanitizer is told to expect them.
#pragma once

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libexpat.so\n";
}
