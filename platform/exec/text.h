// Texts inside the system are ISO-8859-1 bytes; outside (Linux file names,
// the network, the display) they are UTF-8. These convert at the border.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Characters outside Latin-1 become '?'; malformed UTF-8 bytes are taken as
// Latin-1 bytes (a title sent in Latin-1 stays readable).
std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);
// True when the bytes are well-formed UTF-8 with at least one multi-byte sequence.
bool LooksLikeUtf8(std::string_view bytes);

// Latin-1 case rules (A-Z, and 0xC0-0xDE except 0xD7).
unsigned char ToUpperLatin1(unsigned char c);
unsigned char ToLowerLatin1(unsigned char c);
int CompareNoCaseLatin1(std::string_view a, std::string_view b); // <0, 0, >0
bool EqualsNoCaseLatin1(std::string_view a, std::string_view b);

// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

} // namespace platform
