#pragma once

// Symbols of the link library that programs linking libKTCOM.so may use.
#if defined(KTCOM_BUILDING)
#define KTCOM_API __attribute__((visibility("default")))
#else
#define KTCOM_API
#endif
