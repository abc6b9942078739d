#pragma once
// The maker's own domains and the public secure site whose proxy the maker's
// servers are assumed to share. All invented names under the reserved
// ".example" top-level domain, kept here so that they change in one place.

namespace ksnet {

constexpr const char* kMakerDomains[4] = {
    "kestrelon.example",
    "kestrelon-meet.example",
    "kestrelon-conference.example",
    "bootwick-soft.example",
};

// Scheme and host only, as the proxy script's host argument.
constexpr const char kProbeSite[] = "https://www.kestrelon-probe.example";

}  // namespace ksnet
