#pragma once
// For test programs that read hostile input: under AddressSanitizer one
// allocation sized by a bogus count fails loudly instead of paging. Include
// from exactly one file of a program. DRAFTWELL_ASAN tells the file whether the
// sanitizer is on.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRAFTWELL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DRAFTWELL_ASAN 1
#endif

#ifdef DRAFTWELL_ASAN
#include <sanitizer/lsan_interface.h>
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=2048"; }
#endif
