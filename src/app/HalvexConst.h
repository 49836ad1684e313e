// Fixed values of the installer: the working directory and the distribution server.
#pragma once

inline constexpr const char* InstallDir = "C:\\Tramela";
#include "app/BuildSettings.h"

// The one host of the reachability test and of the package's URL, chosen at build time.
inline constexpr const char* DistributionHost = kConfiguredDistributionHost;
inline constexpr const char* DistributionPort = "80";
