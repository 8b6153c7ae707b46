#pragma once
// Marks the functions that leave a shared object; everything else stays hidden.
#if defined(__GNUC__)
#define KR_EXPORT __attribute__((visibility("default")))
#else
#define KR_EXPORT
#endif

#ifdef __cplusplus
#define KR_EXTERN_C extern "C"
#else
#define KR_EXTERN_C
#endif

#define KR_API KR_EXTERN_C KR_EXPORT
