// Per-processor clones of the hot pixel loops, except under ThreadSanitizer, whose runtime
// is not ready when the clones' resolvers run at load.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define CAMSIM_VECTORISE
#else
#define CAMSIM_VECTORISE __attribute__((target_clones("avx2", "default")))
#endif
