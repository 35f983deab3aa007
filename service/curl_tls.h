#pragma once

#include <curl/curl.h>

#include <filesystem>
#include <optional>
#include <string>

// Trusted certificate authorities for libcurl: the system's, plus an extra one from the configuration.
namespace tolvane {

// curl_global_init once per process, from any thread.
void ensureCurlGlobalInit();

// The PEM text curl is given when an extra CA is configured: the system bundle (when it can be read)
// followed by the extra file. nullopt when the extra file cannot be read or holds no certificate.
std::optional<std::string> trustedAuthoritiesPem(const std::filesystem::path& systemBundle,
                                                 const std::filesystem::path& extraCaFile);

// With caFile empty curl keeps its defaults (the system bundle and folder). Otherwise curl gets the
// system bundle and caFile together as one in-memory bundle (CURLOPT_CAINFO_BLOB replaces the
// CURLOPT_CAINFO file, so the bundle must be part of it; the system CA folder stays in use).
// Returns false, with error set, when caFile cannot be used; the transfer must not go on then.
bool applyTrustedAuthorities(CURL* curl, const std::filesystem::path& caFile, std::string& error);

}  // namespace tolvane
