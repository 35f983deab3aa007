#include "service/curl_tls.h"

#include <mutex>

#include "settings/atomic_file.h"

namespace tolvane {

void ensureCurlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::optional<std::string> trustedAuthoritiesPem(const std::filesystem::path& systemBundle,
                                                 const std::filesystem::path& extraCaFile) {
  const FileContents extra = readWholeFile(extraCaFile);
  if (extra.status != ReadStatus::kOk ||
      extra.bytes.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
    return std::nullopt;
  }
  std::string pem;
  if (!systemBundle.empty()) {
    const FileContents bundle = readWholeFile(systemBundle);
    if (bundle.status == ReadStatus::kOk) pem = bundle.bytes;
  }
  if (!pem.empty() && pem.back() != '\n') pem += '\n';
  pem += extra.bytes;
  return pem;
}

bool applyTrustedAuthorities(CURL* curl, const std::filesystem::path& caFile, std::string& error) {
  if (caFile.empty()) return true;
  char* defaultBundle = nullptr;
  curl_easy_getinfo(curl, CURLINFO_CAINFO, &defaultBundle);
  const std::optional<std::string> pem = trustedAuthoritiesPem(
      defaultBundle != nullptr ? std::filesystem::path(defaultBundle) : std::filesystem::path{}, caFile);
  if (!pem) {
    error = "no certificate in ca_file " + caFile.string();
    return false;
  }
  curl_blob blob{};
  blob.data = const_cast<char*>(pem->data());
  blob.len = pem->size();
  blob.flags = CURL_BLOB_COPY;
  if (curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob) != CURLE_OK) {
    error = "libcurl cannot take ca_file " + caFile.string();
    return false;
  }
  return true;
}

}  // namespace tolvane
