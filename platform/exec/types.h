// Basic types of the system API, sized for a 64-bit Linux host.
// Pointer-sized values (IPTR) carry method arguments and tag data, so that a
// pointer survives a trip through a message or a tag list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint16_t UWORD;
typedef int16_t WORD;
typedef uint8_t UBYTE;
typedef int8_t BYTE;
typedef int16_t BOOL;
typedef uint64_t UQUAD;
typedef int64_t QUAD;
typedef void *APTR;
typedef const void *CONST_APTR;
typedef char *STRPTR;
typedef const char *CONST_STRPTR;
typedef uintptr_t IPTR;
typedef intptr_t SIPTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Turns any argument of a variadic call (integer, enum, pointer, null) into
// one pointer-sized word.
template <typename T> constexpr IPTR ToIPTR(T v) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<IPTR>(v);
  else if constexpr (std::is_null_pointer_v<T>)
    return 0;
  else if constexpr (std::is_enum_v<T>)
    return static_cast<IPTR>(static_cast<std::underlying_type_t<T>>(v));
  else if constexpr (std::is_signed_v<T>)
    return static_cast<IPTR>(static_cast<SIPTR>(v));
  else
    return static_cast<IPTR>(v);
}
