// Measures how fast the launcher checks an entry: VerifyEntrySignature (the
// launcher's own code, linked from msistub_core) over 256 MiB, whose time is
// all SHA-256 but for one RSA check. The signature is wrong on purpose; only
// the time counts.
//   hash_speed.exe
// Prints the best of five runs in MB/s (10^6 bytes per second).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "format/verify_entry_signature.h"

int main() {
    const uint32_t size = 256u << 20;
    uint8_t* content = static_cast<uint8_t*>(std::malloc(size));
    if (!content) return 1;
    uint32_t x = 2463534242u;
    for (uint32_t i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        content[i] = static_cast<uint8_t>(x);
    }
    uint8_t signature[256] = {1};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        QueryPerformanceCounter(&start);
        VerifyEntrySignature(content, size, signature, sizeof signature);
        QueryPerformanceCounter(&end);
        double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (size / seconds > best) best = size / seconds;
    }
    std::printf("sha256 %.0f MB/s\n", best / 1e6);
    std::free(content);
    return 0;
}
