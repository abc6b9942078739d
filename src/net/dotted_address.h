#pragma once
// Recognising a host text that is an IPv4 address already.

namespace ksnet {

// Contains ".", the text before the first "." reads (atoi-style) as a
// non-zero number, and the name splits at "." into exactly four pieces
// (empty pieces count). Such a name is used without any lookup.
bool LooksLikeDottedAddress(const char* name);

}  // namespace ksnet
