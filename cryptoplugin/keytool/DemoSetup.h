// The demo material: an authority and a user container whose certificate it issued, so that a
// fresh installation can sign at once. Running it again changes nothing.
#pragma once

#include <iosfwd>

#include "keystore/KeyStore.h"

namespace nelvo::cryptoplugin::keytool {

inline constexpr const char* kDemoCaContainer = "NelvoDemoCA";
inline constexpr const char* kDemoUserContainer = "NelvoDemoUser";

// Creates what is missing; reports each step on out.
void RunDemo(const KeyStore& store, std::ostream& out);

}  // namespace nelvo::cryptoplugin::keytool
