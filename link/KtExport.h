#pragma once

// Symbols of the link library that programs linking KTCOM may use.
#if defined(_WIN32)
#if defined(KTCOM_BUILDING)
#define KTCOM_API __declspec(dllexport)
#else
#define KTCOM_API __declspec(dllimport)
#endif
#elif defined(KTCOM_BUILDING)
#define KTCOM_API __attribute__((visibility("default")))
#else
#define KTCOM_API
#endif
