// Fixed values of the installer: the working directory and the distribution server.
#pragma once

inline constexpr const char* InstallDir = "C:\\Tramela";
// The one host of the reachability test and of the package's URL.
inline constexpr const char* DistributionHost = "prenos.tramela.si";
inline constexpr const char* DistributionPort = "80";
