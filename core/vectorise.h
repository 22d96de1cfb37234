// Per-processor clones of the hot pixel loops, except under ThreadSanitizer, whose runtime
// is not ready when the clones' resolvers run at load (g++ and clang say so differently).
#pragma once

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORE_NO_CLONES
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define CORE_NO_CLONES
#endif

#if defined(CORE_NO_CLONES)
#define CORE_VECTORISE
#else
#define CORE_VECTORISE __attribute__((target_clones("avx2", "default")))
#endif
