#include "platform/alert.h"

#include <cstdio>

void AlertOnStderr(const char* caption, const char* text)
{
    std::fprintf(stderr, "zarnet: %s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}
